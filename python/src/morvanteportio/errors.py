"""What can go wrong, as exceptions whose messages say what to do."""


class CardError(Exception):
    """Base of every error of this package."""


class LibraryNotFoundError(CardError, FileNotFoundError):
    """The card library is nowhere this package looked; the message lists where."""


class WrongBitnessError(CardError):
    """The library is for another bitness (or another system) than this Python."""


class DriverMissingError(CardError):
    """Windows: MORVANTEPORTIO.DLL is there, but DlPortIO.dll, which it needs, is not."""


class CardNotAnsweringError(CardError):
    """The card did not answer the probe (Init returned 0)."""
