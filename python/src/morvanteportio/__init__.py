"""The two-channel 12-bit A/D converter card at I/O ports 0x280..0x284.

    import morvanteportio as m
    with m.Card() as card:
        volts = card.read(0, count=10)
        run = card.acquire(readings=100, interval=0.1)

See Card, Recording, read_csv; ``python -m morvanteportio plot FILE.csv``.
"""
from .card import CHANNELS, NO_READING, Card
from .errors import (CardError, CardNotAnsweringError, DriverMissingError, LibraryNotFoundError,
                     WrongBitnessError)
from .recording import Recording, read_csv

__version__ = "1.0.0"

__all__ = [
    "Card", "Recording", "read_csv", "NO_READING", "CHANNELS",
    "CardError", "CardNotAnsweringError", "DriverMissingError", "LibraryNotFoundError", "WrongBitnessError",
]
