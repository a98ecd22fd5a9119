"""Finding and loading the card library, with errors a user can act on."""
from __future__ import annotations

import ctypes
import os
import struct
import sys
from pathlib import Path
from typing import Any, List, Optional, Tuple

from .errors import DriverMissingError, LibraryNotFoundError, WrongBitnessError

WINDOWS = sys.platform == "win32"
PYTHON_BITS = struct.calcsize("P") * 8
PACKAGE_LIB = Path(__file__).resolve().parent / "lib"
ENVIRONMENT_VARIABLE = "MORVANTEPORTIO_LIBRARY"

if WINDOWS:
    LIBRARY_FILE = "MORVANTEPORTIO.DLL"
    SIM_LIBRARY_FILE = LIBRARY_FILE  # the same DLL, with the stand-in DlPortIO.dll
    SYSTEM_NAMES = ["MORVANTEPORTIO.DLL"]
else:
    LIBRARY_FILE = "libmorvanteportio.so"
    SIM_LIBRARY_FILE = "libmorvanteportio-sim.so"
    SYSTEM_NAMES = ["libmorvanteportio.so.1", "libmorvanteportio.so"]
STANDIN_FOLDER = PACKAGE_LIB / "standin"  # Windows: the stand-in DlPortIO.dll

_PE_MACHINES = {0x014C: 32, 0x8664: 64}  # IMAGE_FILE_MACHINE_I386, _AMD64
_dll_directories: List[Any] = []  # os.add_dll_directory handles, kept for the process's life


def file_bits(path: Path) -> Tuple[Optional[str], Optional[int]]:
    """The format ('ELF' or 'PE') and the bitness of a library file, as far as
    its headers tell; (None, None) for anything else."""
    try:
        with open(path, "rb") as f:
            head = f.read(4096)
    except OSError:
        return None, None
    if head[:4] == b"\x7fELF" and len(head) > 4:
        return "ELF", {1: 32, 2: 64}.get(head[4])
    if head[:2] == b"MZ" and len(head) >= 0x40:
        (pe_offset,) = struct.unpack_from("<I", head, 0x3C)
        if pe_offset + 6 <= len(head) and head[pe_offset:pe_offset + 4] == b"PE\0\0":
            (machine,) = struct.unpack_from("<H", head, pe_offset + 4)
            return "PE", _PE_MACHINES.get(machine)
    return None, None


def _check_loadable(path: Path) -> None:
    """Raises WrongBitnessError for a file this Python cannot load, before the
    system says so in its own words."""
    kind, bits = file_bits(path)
    wanted = "PE" if WINDOWS else "ELF"
    if kind is not None and kind != wanted:
        raise WrongBitnessError(
            f"{path} is a {'Windows DLL' if kind == 'PE' else 'Linux shared library'}; "
            f"this Python runs on {'Windows' if WINDOWS else 'Linux'} and needs "
            f"{'MORVANTEPORTIO.DLL' if WINDOWS else 'libmorvanteportio.so'}")
    if bits is not None and bits != PYTHON_BITS:
        raise WrongBitnessError(
            f"{path} is a {bits}-bit library, but this Python is {PYTHON_BITS}-bit: "
            f"use the {PYTHON_BITS}-bit library (or a {bits}-bit Python)")


def candidates(library: Optional[os.PathLike | str], simulate: bool) -> List[Tuple[str, str]]:
    """Where to look, in order, as (what, path or name): the `library`
    argument, the MORVANTEPORTIO_LIBRARY variable (not for the simulated
    card), the copy inside this package, then the system's search."""
    places: List[Tuple[str, str]] = []
    if library is not None:
        return [("the library argument", os.fspath(library))]
    variable = os.environ.get(ENVIRONMENT_VARIABLE)
    if variable and not simulate:
        places.append((ENVIRONMENT_VARIABLE, variable))
    places.append(("this package", str(PACKAGE_LIB / (SIM_LIBRARY_FILE if simulate else LIBRARY_FILE))))
    if simulate and not WINDOWS:
        places.append(("the system's search", SIM_LIBRARY_FILE))
    elif not simulate:
        places.extend(("the system's search", name) for name in SYSTEM_NAMES)
    return places


def _is_standin_loaded() -> bool:
    kernel32 = ctypes.WinDLL("kernel32", use_last_error=True)
    kernel32.GetModuleHandleW.restype = ctypes.c_void_p
    kernel32.GetModuleHandleW.argtypes = [ctypes.c_wchar_p]
    kernel32.GetProcAddress.restype = ctypes.c_void_p
    kernel32.GetProcAddress.argtypes = [ctypes.c_void_p, ctypes.c_char_p]
    driver = kernel32.GetModuleHandleW("DlPortIO.dll")
    return bool(driver) and bool(kernel32.GetProcAddress(driver, b"SimReset"))


def load(library: Optional[os.PathLike | str], simulate: bool) -> Tuple[ctypes.CDLL, str, bool]:
    """Loads the card library. Returns it, the file it came from, and whether
    it reads the simulated card."""
    tried: List[str] = []
    for what, place in candidates(library, simulate):
        is_path = os.sep in place or "/" in place
        path = Path(place)
        if is_path and not path.is_file():
            tried.append(f"{place} ({what}): no such file")
            continue
        if is_path:
            _check_loadable(path)
        try:
            lib = _open(place, path if is_path else None, simulate)
        except OSError as e:
            if WINDOWS and is_path and getattr(e, "winerror", None) == 126:
                # The file is there, so the missing module is one it imports.
                raise DriverMissingError(
                    f"{place} was found, but DlPortIO.dll, the port driver library it needs, was not: "
                    "install the DlPortIO driver, or put DlPortIO.dll beside the DLL "
                    "(or use Card(simulate=True) to work without the card)") from e
            if WINDOWS and getattr(e, "winerror", None) == 193:
                # The file's own bitness was checked above: a module it imports has the wrong one.
                raise WrongBitnessError(
                    f"{place} needs a {PYTHON_BITS}-bit DlPortIO.dll, but the one Windows found is not "
                    f"{PYTHON_BITS}-bit: install the port driver of this bitness") from e
            tried.append(f"{place} ({what}): {e}")
            continue
        simulated = simulate or "morvanteportio-sim" in place
        if WINDOWS:
            simulated = _is_standin_loaded()
            if simulate and not simulated:
                raise DriverMissingError(
                    "Card(simulate=True) needs the stand-in DlPortIO.dll, but this process has loaded "
                    "the real port driver")
        return lib, _loaded_path(lib, place), simulated
    raise LibraryNotFoundError(
        "cannot find the card library"
        + (" of the simulated card" if simulate else "") + "; looked at:\n  " + "\n  ".join(tried)
        + f"\nGive its path as Card(library=...) or in {ENVIRONMENT_VARIABLE}.")


def _open(place: str, path: Optional[Path], simulate: bool) -> ctypes.CDLL:
    if not WINDOWS:
        return ctypes.CDLL(str(path) if path else place)
    # A DLL given by its path finds DlPortIO.dll beside it; the folders added
    # here are searched next, before the system folder.
    if path is not None:
        _dll_directories.append(os.add_dll_directory(str(path.parent)))
    if simulate:
        _dll_directories.append(os.add_dll_directory(str(STANDIN_FOLDER)))
    # WinDLL: __stdcall, the 32-bit DLL's convention (the 64-bit DLL has only one).
    return ctypes.WinDLL(str(path) if path else place)


def _loaded_path(lib: ctypes.CDLL, place: str) -> str:
    """The file the system actually loaded."""
    if WINDOWS:
        buffer = ctypes.create_unicode_buffer(32768)
        kernel32 = ctypes.WinDLL("kernel32")
        kernel32.GetModuleFileNameW.argtypes = [ctypes.c_void_p, ctypes.c_wchar_p, ctypes.c_uint32]
        if kernel32.GetModuleFileNameW(ctypes.c_void_p(lib._handle), buffer, len(buffer)):
            return buffer.value
        return place

    class DlInfo(ctypes.Structure):
        _fields_ = [("dli_fname", ctypes.c_char_p), ("dli_fbase", ctypes.c_void_p),
                    ("dli_sname", ctypes.c_char_p), ("dli_saddr", ctypes.c_void_p)]

    try:
        libdl = ctypes.CDLL(None)
        info = DlInfo()
        address = ctypes.cast(lib.Init, ctypes.c_void_p)
        if libdl.dladdr(address, ctypes.byref(info)) and info.dli_fname:
            return os.path.realpath(info.dli_fname.decode())
    except (AttributeError, OSError):
        pass
    return place
