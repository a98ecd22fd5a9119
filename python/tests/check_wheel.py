"""Checks a wheel of the package: its tag, and that it holds the card
libraries of its platform and bitness, and nothing of another.

    python3 check_wheel.py WHEEL PLATFORM      (linux_x86_64, win32, win_amd64)
"""
import base64
import csv
import hashlib
import io
import struct
import sys
import zipfile

ELF_X86_64 = 62
PE_I386, PE_AMD64 = 0x014C, 0x8664

EXPECTED = {
    "linux_x86_64": {"morvanteportio/lib/libmorvanteportio.so": ("ELF", 64, ELF_X86_64),
                     "morvanteportio/lib/libmorvanteportio-sim.so": ("ELF", 64, ELF_X86_64)},
    "win32": {"morvanteportio/lib/MORVANTEPORTIO.DLL": ("PE", 32, PE_I386),
              "morvanteportio/lib/standin/DlPortIO.dll": ("PE", 32, PE_I386)},
    "win_amd64": {"morvanteportio/lib/MORVANTEPORTIO.DLL": ("PE", 64, PE_AMD64),
                  "morvanteportio/lib/standin/DlPortIO.dll": ("PE", 64, PE_AMD64)},
}


def binary_kind(data):
    """('ELF' | 'PE', bits, machine) of a library's bytes."""
    if data[:4] == b"\x7fELF":
        (machine,) = struct.unpack_from("<H", data, 18)
        return "ELF", {1: 32, 2: 64}[data[4]], machine
    if data[:2] == b"MZ":
        (pe,) = struct.unpack_from("<I", data, 0x3C)
        assert data[pe:pe + 4] == b"PE\0\0", "no PE signature"
        (machine,) = struct.unpack_from("<H", data, pe + 4)
        (magic,) = struct.unpack_from("<H", data, pe + 24)
        return "PE", {0x10B: 32, 0x20B: 64}[magic], machine
    return None, None, None


def check(wheel, platform):
    problems = []
    tag = f"py3-none-{platform}"
    if not wheel.endswith(f"-{tag}.whl"):
        problems.append(f"the file name does not end in -{tag}.whl")
    with zipfile.ZipFile(wheel) as z:
        names = set(z.namelist())
        dist_info = next(n.split("/")[0] for n in names if n.split("/")[0].endswith(".dist-info"))
        wheel_meta = z.read(f"{dist_info}/WHEEL").decode()
        if f"Tag: {tag}" not in wheel_meta.splitlines():
            problems.append(f"WHEEL does not say Tag: {tag}:\n{wheel_meta}")
        if "Root-Is-Purelib: false" not in wheel_meta:
            problems.append("WHEEL says the wheel is pure, though it carries libraries")
        metadata = z.read(f"{dist_info}/METADATA").decode()
        for line in ("Requires-Dist: numpy", "Provides-Extra: plot"):
            if line not in metadata:
                problems.append(f"METADATA lacks {line!r}")
        for module in ("__init__.py", "card.py", "recording.py", "plot.py", "__main__.py", "py.typed"):
            if f"morvanteportio/{module}" not in names:
                problems.append(f"morvanteportio/{module} is missing")
        libraries = {n for n in names if n.startswith("morvanteportio/lib/") and not n.endswith("/")}
        expected = EXPECTED[platform]
        if libraries != set(expected):
            problems.append(f"libraries {sorted(libraries)}, expected {sorted(expected)}")
        for name, kind in expected.items():
            if name in names and binary_kind(z.read(name)) != kind:
                problems.append(f"{name} is {binary_kind(z.read(name))}, expected {kind}")
        for path, digest, size in csv.reader(io.StringIO(z.read(f"{dist_info}/RECORD").decode())):
            if not digest:
                continue
            data = z.read(path)
            actual = "sha256=" + base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
            if actual != digest or int(size) != len(data):
                problems.append(f"RECORD does not match {path}")
    return problems


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[2] not in EXPECTED:
        sys.exit(__doc__)
    problems = check(sys.argv[1], sys.argv[2])
    for p in problems:
        print(p)
    if problems:
        sys.exit(1)
    print(f"{sys.argv[1]}: {sys.argv[2]}, libraries of its platform and bitness")
