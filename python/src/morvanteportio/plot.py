"""Drawing a recording with matplotlib (the `plot` extra)."""
from __future__ import annotations

import os
from typing import Any, Optional

from .recording import Recording


def plot(recording: Recording, path: Optional[os.PathLike | str] = None, title: Optional[str] = None) -> Any:
    """Volts against time, one line per channel, with a gap wherever a reading
    had no value. Saves the figure to `path` (PNG, SVG, PDF: by its suffix)
    when given; returns the matplotlib Figure."""
    try:
        import matplotlib
        if path is not None:
            matplotlib.use("Agg")  # a file, no window: works without a display
        import matplotlib.pyplot as plt
    except ImportError:
        raise ImportError("plotting needs matplotlib: pip install morvanteportio[plot]") from None

    figure, axes = plt.subplots(figsize=(10, 5), dpi=100)
    for channel in recording.channels:
        # NaN values break the line: a gap where the card gave no reading.
        axes.plot(recording.elapsed, recording.volts[channel], marker=".", markersize=3, linewidth=1,
                  label=f"channel {channel}")
    axes.set_xlabel("time since start (s)")
    axes.set_ylabel("voltage (V)")
    start = recording.start.strftime("%Y-%m-%d %H:%M:%S UTC")
    axes.set_title(title or f"{len(recording)} readings from {start}")
    axes.grid(True, alpha=0.3)
    axes.legend(loc="upper right")
    figure.tight_layout()
    if path is not None:
        figure.savefig(path)
        plt.close(figure)
    return figure
