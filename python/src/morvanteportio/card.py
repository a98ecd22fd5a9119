"""The card, through its library."""
from __future__ import annotations

import ctypes
import datetime as dt
import math
import os
from typing import Optional, Sequence

import numpy as np

from . import _library
from .errors import CardError, CardNotAnsweringError
from .recording import Recording, schedule

NO_READING = 1e10  # what the library returns where it has no reading
CHANNELS = (0, 1)
_INT_MAX = 2**31 - 1


class Card:
    """The two-channel 12-bit A/D card at I/O ports 0x280..0x284.

    ``Card()`` loads the card library (see ``library`` below) but does not
    touch the card; ``with Card() as card:`` also probes it (``Init``) and
    raises CardNotAnsweringError if it does not answer.

    library: the library file to load. Otherwise, in this order: the
        variable MORVANTEPORTIO_LIBRARY, the copy inside this package, the
        system's search. On Windows the DLL must have this Python's bitness.
    simulate: the simulated card instead of the real one (Linux: the
        simulated-card library; Windows: MORVANTEPORTIO.DLL with the stand-in
        DlPortIO.dll). MORVANTEPORTIO_LIBRARY does not apply. The simulated
        card reads the MORVANTE_SIM_* variables when it is loaded.

    Every Card of one library in one process drives the same card and shares
    its "found" flag. The library takes no lock: calls from several threads
    interleave on the card.
    """

    def __init__(self, library: Optional[os.PathLike | str] = None, simulate: bool = False) -> None:
        lib, path, simulated = _library.load(library, simulate)
        self._lib = lib
        self.library_path: str = path
        self.simulated: bool = simulated
        lib.Init.argtypes = []
        lib.Init.restype = ctypes.c_int
        lib.OKCarte.argtypes = []
        lib.OKCarte.restype = ctypes.c_int
        lib.readad.argtypes = [ctypes.c_int]
        lib.readad.restype = ctypes.c_float
        lib.LitTension.argtypes = [ctypes.c_int, ctypes.c_int]
        lib.LitTension.restype = ctypes.c_float
        lib.in_port.argtypes = [ctypes.c_int]
        lib.in_port.restype = ctypes.c_ubyte
        lib.out_port.argtypes = [ctypes.c_int, ctypes.c_int]
        lib.out_port.restype = None

    def __repr__(self) -> str:
        return f"Card(library={self.library_path!r}, simulated={self.simulated})"

    # ---- The probe ------------------------------------------------------------

    def __enter__(self) -> "Card":
        self.open()
        return self

    def __exit__(self, *exc: object) -> None:
        pass  # the library holds nothing to release

    def open(self) -> None:
        """Probes the card (Init); raises CardNotAnsweringError if it does not
        answer within 0.1 s."""
        if not self.init():
            where = "the simulated card (see MORVANTE_SIM_CARD)" if self.simulated else "the card"
            hint = ("" if self.simulated or os.name == "nt" else
                    " On Linux, port access needs root or CAP_SYS_RAWIO; `adcread --check` says what "
                    "the library can reach and why.")
            raise CardNotAnsweringError(
                f"{where} does not answer at 0x280 (Init() = 0, library {self.library_path}).{hint}")

    def init(self) -> bool:
        """Probes the card (Init) and says whether it answered."""
        return self._lib.Init() == 1

    @property
    def present(self) -> bool:
        """Whether the last probe found the card (OKCarte)."""
        return self._lib.OKCarte() == 1

    # ---- Measuring ------------------------------------------------------------

    def read(self, channel: int, count: int = 1) -> float:
        """Volts on `channel` (0 or 1): the mean of `count` conversions
        (LitTension), NaN if none gave a reading. Needs a card that the last
        probe found: enter ``with Card() as card:`` or call ``open()`` first."""
        _check_channel(channel)
        if not isinstance(count, int) or not 1 <= count <= _INT_MAX:
            raise ValueError(f"count must be a whole number from 1 to {_INT_MAX}, not {count!r}")
        if not self.present:
            raise CardError("the card has not been found: probe it first with `with Card() as card:` "
                            "or card.open()")
        volts = self._lib.LitTension(channel, count)
        return math.nan if volts == NO_READING or math.isnan(volts) else float(volts)

    def acquire(self, readings: int, interval: float, channels: Sequence[int] = CHANNELS,
                count: int = 10) -> Recording:
        """Takes `readings` readings of `channels`, `interval` seconds apart,
        each the mean of `count` conversions, on the schedule adcread keeps:
        reading k at start + k x interval on a monotonic clock (no drift; a
        reading that comes late is taken at once and counted in ``late``).

        Returns a Recording: the time of each reading (seconds from ``start``,
        its UTC time) and one float32 array of volts per channel, NaN where
        there was no reading."""
        channels = list(channels)
        if not channels:
            raise ValueError("channels must name channel 0, 1 or both")
        for channel in channels:
            _check_channel(channel)
        if len(set(channels)) != len(channels):
            raise ValueError(f"channels names a channel twice: {channels}")
        if not isinstance(readings, int) or readings < 0:
            raise ValueError(f"readings must be a whole number, 0 or more, not {readings!r}")
        if not (isinstance(interval, (int, float)) and math.isfinite(interval) and interval >= 0):
            raise ValueError(f"interval must be a number of seconds, 0 or more, not {interval!r}")
        if readings and not self.present:
            raise CardError("the card has not been found: probe it first with `with Card() as card:` "
                            "or card.open()")
        start = dt.datetime.now(dt.timezone.utc)
        elapsed, values, late = schedule(readings, float(interval),
                                         lambda: [self.read(channel, count) for channel in channels])
        table = np.array(values, dtype=np.float32).reshape(len(values), len(channels))
        return Recording(start=start, elapsed=np.array(elapsed, dtype=np.float64),
                         volts={ch: table[:, i].copy() for i, ch in enumerate(channels)},
                         count=count, interval=float(interval), late=late, library=self.library_path)

    # ---- The ports themselves ------------------------------------------------------

    def in_port(self, port: int) -> int:
        """One byte read from I/O port `port` (0 to 0xFFFF)."""
        _check_port(port)
        return int(self._lib.in_port(port))

    def out_port(self, port: int, value: int) -> None:
        """Writes the byte `value` (0 to 255) to I/O port `port` (0 to 0xFFFF)."""
        _check_port(port)
        if not isinstance(value, int) or not 0 <= value <= 0xFF:
            raise ValueError(f"value must be a byte, 0 to 255, not {value!r}")
        self._lib.out_port(port, value)


def _check_channel(channel: int) -> None:
    if not isinstance(channel, int) or channel not in CHANNELS:
        raise ValueError(f"channel must be 0 or 1, not {channel!r}")


def _check_port(port: int) -> None:
    if not isinstance(port, int) or not 0 <= port <= 0xFFFF:
        raise ValueError(f"port must be an I/O port, 0 to 0xFFFF, not {port!r}")
