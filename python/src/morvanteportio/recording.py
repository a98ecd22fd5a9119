"""Readings over time: what Card.acquire takes and read_csv loads."""
from __future__ import annotations

import csv
import datetime as dt
import os
import time
from dataclasses import dataclass, field
from typing import Callable, Dict, List, Optional, Sequence

import numpy as np


@dataclass
class Recording:
    """Readings of one or both channels.

    ``elapsed[k]`` is when reading k was taken, in seconds from ``start`` (a
    UTC datetime); ``volts[channel][k]`` is its value, float32, NaN where the
    card gave no reading.
    """

    start: dt.datetime
    elapsed: np.ndarray
    volts: Dict[int, np.ndarray]
    count: Optional[int] = None  # conversions averaged per reading
    interval: Optional[float] = None  # seconds from one reading to the next
    late: int = 0  # readings taken after their due time, because the one before overran
    library: Optional[str] = None
    comments: List[str] = field(default_factory=list)

    def __len__(self) -> int:
        return len(self.elapsed)

    @property
    def channels(self) -> List[int]:
        return sorted(self.volts)

    def times(self) -> np.ndarray:
        """The UTC time of each reading, as numpy datetime64 in microseconds."""
        start = np.datetime64(self.start.astimezone(dt.timezone.utc).replace(tzinfo=None), "us")
        return start + np.round(self.elapsed * 1e6).astype("timedelta64[us]")


def schedule(readings: int, interval: float, take: Callable[[], Sequence[float]],
             clock: Callable[[], float] = time.monotonic,
             sleep: Callable[[float], None] = time.sleep) -> tuple:
    """Takes `readings` readings, reading k at start + k x interval on a
    monotonic clock, so that the run does not drift; a reading that comes due
    while the one before is still running is taken at once, and counted late.

    Returns (elapsed seconds of each reading, the values of each, late count).
    """
    start = clock()
    elapsed: List[float] = []
    values: List[Sequence[float]] = []
    late = 0
    for k in range(readings):
        due = k * interval  # not a running sum: no drift
        now = clock() - start
        if now < due:
            sleep(due - now)
        elif interval > 0 and now - due > 0.001:
            late += 1
        elapsed.append(clock() - start)
        values.append(take())
    return elapsed, values, late


# ---- adcread's CSV files ----------------------------------------------------


def _parse_utc(text: str) -> dt.datetime:
    """'2026-12-11T16:11:11.123456Z' as an aware datetime."""
    text = text.strip()
    if text.endswith("Z"):
        text = text[:-1] + "+00:00"
    return dt.datetime.fromisoformat(text).astimezone(dt.timezone.utc)


def read_csv(path: os.PathLike | str) -> Recording:
    """Loads a CSV file that adcread wrote: its '#' lines (library, start time,
    conversions per reading, interval), the header time_utc,elapsed_s,chN_V,
    and the rows, 'nan' where there was no reading."""
    comments: List[str] = []
    rows: List[List[str]] = []
    with open(path, newline="") as f:
        lines = (line for line in f if line.strip())
        data: List[str] = []
        for line in lines:
            if line.startswith("#"):
                comments.append(line[1:].strip())
            else:
                data.append(line)
        rows = list(csv.reader(data))
    if not rows:
        raise ValueError(f"{path}: no header line; not a file that adcread wrote")
    header, body = rows[0], rows[1:]
    if header[:2] != ["time_utc", "elapsed_s"] or not all(
            name.startswith("ch") and name.endswith("_V") for name in header[2:]) or len(header) < 3:
        raise ValueError(f"{path}: the header is {','.join(header)!r}, not time_utc,elapsed_s,chN_V...")
    channels = [int(name[2:-2]) for name in header[2:]]
    meta = dict(c.split(": ", 1) for c in comments if ": " in c)
    elapsed = np.empty(len(body), dtype=np.float64)
    volts = {ch: np.empty(len(body), dtype=np.float32) for ch in channels}
    for i, row in enumerate(body):
        if len(row) != len(header):
            raise ValueError(f"{path}: row {i + 1} has {len(row)} fields, the header {len(header)}")
        try:
            elapsed[i] = float(row[1])
            for ch, cell in zip(channels, row[2:]):
                volts[ch][i] = float(cell)
        except ValueError:
            raise ValueError(f"{path}: row {i + 1} is not a reading: {','.join(row)}") from None
    if "start" in meta:
        start = _parse_utc(meta["start"])
    elif body:
        start = _parse_utc(body[0][0]) - dt.timedelta(seconds=float(body[0][1]))
    else:
        start = dt.datetime.fromtimestamp(0, dt.timezone.utc)
    count = int(meta["conversions per reading"]) if "conversions per reading" in meta else None
    interval = float(meta["interval"].split()[0]) if "interval" in meta else None
    return Recording(start=start, elapsed=elapsed, volts=volts, count=count, interval=interval,
                     library=meta.get("library"), comments=comments)

