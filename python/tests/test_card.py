"""Card on the simulated card: values, no reading, the ports, the schedule of
acquire, and the errors a user meets."""
import struct
import sys
from pathlib import Path

import numpy as np
import pytest

import morvanteportio as m
from conftest import ONE_CODE


def test_the_package_is_the_installed_wheel_with_its_libraries():
    package = Path(m.__file__).resolve().parent
    assert Path(sys.prefix).resolve() in package.parents, f"{package} is not inside {sys.prefix}"
    assert (package / "lib" / "libmorvanteportio.so").is_file()
    assert (package / "lib" / "libmorvanteportio-sim.so").is_file()


@pytest.fixture(scope="module")
def card():
    with m.Card(simulate=True) as c:
        yield c


def test_reads_both_channels_of_the_default_bench(card):
    assert card.simulated and card.present
    assert card.library_path.endswith("libmorvanteportio-sim.so")
    assert abs(card.read(0, count=10) - 1.25) <= ONE_CODE
    assert abs(card.read(1) + 3.30) <= ONE_CODE
    assert isinstance(card.read(1), float)


def test_reaches_the_ports_themselves(card):
    card.out_port(0x282, 0xFF)  # start channel 1 by hand
    for _ in range(100000):
        if not card.in_port(0x284) & 0x02:
            break
    code = (card.in_port(0x282) << 4) | (card.in_port(0x283) >> 4)
    assert abs((code - 2047.5) * ONE_CODE + 3.30) <= ONE_CODE
    assert card.in_port(0x300) == 0xFF


@pytest.mark.parametrize("call", [
    lambda c: c.read(2), lambda c: c.read(-1), lambda c: c.read(0, 0), lambda c: c.read(0, 2**31),
    lambda c: c.read(0, 1.5), lambda c: c.read("0"),
    lambda c: c.in_port(-1), lambda c: c.in_port(0x10000), lambda c: c.out_port(0x280, 256),
    lambda c: c.out_port(0x280, -1), lambda c: c.out_port(0x10000, 0),
    lambda c: c.acquire(3, 0.1, channels=(0, 0)), lambda c: c.acquire(3, 0.1, channels=()),
    lambda c: c.acquire(3, 0.1, channels=(2,)), lambda c: c.acquire(3, -1),
    lambda c: c.acquire(3, float("nan")), lambda c: c.acquire(-1, 0.1),
], ids=["channel 2", "channel -1", "count 0", "count 2**31", "count 1.5", "channel '0'", "port -1",
        "port 0x10000", "value 256", "value -1", "out port 0x10000", "a channel twice", "no channel",
        "acquire channel 2", "negative interval", "NaN interval", "negative readings"])
def test_a_bad_argument_is_a_value_error_that_touches_nothing(card, call):
    with pytest.raises(ValueError):
        call(card)


def test_acquire_gives_numpy_arrays_on_a_schedule_that_does_not_drift(card):
    run = card.acquire(readings=6, interval=0.05, count=5)
    assert len(run) == 6 and run.channels == [0, 1]
    assert run.elapsed.dtype == np.float64 and run.elapsed.shape == (6,)
    for channel, volts in run.volts.items():
        assert volts.dtype == np.float32 and volts.shape == (6,)
    assert np.all(np.abs(run.volts[0] - 1.25) <= ONE_CODE)
    for k, t in enumerate(run.elapsed):
        assert k * 0.05 <= t < k * 0.05 + 0.03, f"reading {k} at {t} s"
    assert run.late == 0 and run.count == 5 and run.interval == 0.05
    assert run.start.tzinfo is not None
    times = run.times()
    assert times.dtype == np.dtype("datetime64[us]")
    assert (times[-1] - times[0]) / np.timedelta64(1, "ms") == pytest.approx(run.elapsed[-1] * 1e3 - run.elapsed[0] * 1e3, abs=1)


def test_acquire_one_channel_or_none_at_all(card):
    run = card.acquire(readings=2, interval=0, channels=(1,))
    assert run.channels == [1] and run.volts[1].shape == (2,)
    empty = card.acquire(readings=0, interval=1)
    assert len(empty) == 0 and empty.volts[0].shape == (0,)


# ---- Other benches, in a child process -------------------------------------------


def test_no_reading_is_nan_and_late_readings_are_counted(child):
    result = child("""
        import json, math, numpy as np, morvanteportio as m
        with m.Card(simulate=True) as card:   # the probe is conversion 1
            good = [card.read(0), card.read(1)]   # conversions 2 and 3; then the card dies
            gone = card.read(0, count=2)
            run = card.acquire(readings=2, interval=0.05, count=1)
        print(json.dumps({"good": good, "gone": math.isnan(gone), "present": card.present,
                          "run_nan": np.isnan(run.volts[0]).tolist(),
                          "late": run.late}))
        """, MORVANTE_SIM_CARD="dies-after:3")
    assert abs(result["good"][0] - 1.25) <= ONE_CODE and abs(result["good"][1] + 3.30) <= ONE_CODE
    assert result["gone"] and result["present"], "a dead card reads NaN; the flag stays until the next probe"
    assert result["run_nan"] == [True, True]
    assert result["late"] == 1, "each reading of a dead card takes 0.2 s, past its 0.05 s"


def test_an_absent_card_raises_on_entry(child):
    result = child("""
        import json, morvanteportio as m
        try:
            with m.Card(simulate=True):
                print(json.dumps("entered"))
        except m.CardNotAnsweringError as e:
            print(json.dumps(str(e)))
        """, MORVANTE_SIM_CARD="absent")
    assert "does not answer" in result and "MORVANTE_SIM_CARD" in result


def test_reading_before_the_probe_is_an_error(child):
    result = child("""
        import json, morvanteportio as m
        card = m.Card(simulate=True)
        try:
            card.read(0)
        except m.CardError as e:
            print(json.dumps(str(e)))
        """)
    assert "probe it first" in result


def test_a_sine_set_by_the_environment(child):
    values = child("""
        import json, morvanteportio as m
        with m.Card(simulate=True) as card:
            print(json.dumps(card.acquire(readings=20, interval=0.003, channels=(0,), count=1).volts[0].tolist()))
        """, MORVANTE_SIM_CH0="sine:2:50")
    assert len(set(values)) > 5 and max(values) > 1 and min(values) < -1
    assert all(abs(v) <= 2 + ONE_CODE for v in values)


# ---- Finding the library -----------------------------------------------------------


def test_a_missing_library_says_where_it_looked(tmp_path, monkeypatch):
    with pytest.raises(m.LibraryNotFoundError) as e:
        m.Card(library=tmp_path / "libmorvanteportio.so")
    assert str(tmp_path / "libmorvanteportio.so") in str(e.value) and "no such file" in str(e.value)
    monkeypatch.setenv("MORVANTEPORTIO_LIBRARY", str(tmp_path / "elsewhere.so"))
    monkeypatch.setattr(m._library, "PACKAGE_LIB", tmp_path)
    with pytest.raises(m.LibraryNotFoundError) as e:
        m.Card()
    text = str(e.value)
    for place in ["elsewhere.so (MORVANTEPORTIO_LIBRARY)", "(this package)", "libmorvanteportio.so.1 (the system's search)"]:
        assert place in text


def test_the_variable_comes_before_the_package(tmp_path, monkeypatch):
    monkeypatch.setenv("MORVANTEPORTIO_LIBRARY", str(Path(m.__file__).parent / "lib" / "libmorvanteportio-sim.so"))
    card = m.Card()
    assert card.library_path.endswith("libmorvanteportio-sim.so") and card.simulated


def elf_header(bits):
    return b"\x7fELF" + bytes([1 if bits == 32 else 2, 1, 1]) + bytes(57)


def pe_header(machine):
    head = bytearray(0x200)
    head[:2] = b"MZ"
    struct.pack_into("<I", head, 0x3C, 0x80)
    head[0x80:0x84] = b"PE\0\0"
    struct.pack_into("<H", head, 0x84, machine)
    return bytes(head)


@pytest.mark.parametrize("name, content, words", [
    ("lib32.so", elf_header(32), ["32-bit library", "this Python is 64-bit"]),
    ("MORVANTEPORTIO.DLL", pe_header(0x014C), ["Windows DLL"]),
    ("MORVANTEPORTIO64.DLL", pe_header(0x8664), ["Windows DLL"]),
])
def test_a_library_of_another_bitness_or_system_is_refused_plainly(tmp_path, name, content, words):
    path = tmp_path / name
    path.write_bytes(content)
    with pytest.raises(m.WrongBitnessError) as e:
        m.Card(library=path)
    for word in words:
        assert word in str(e.value)


@pytest.mark.parametrize("content, kind", [
    (elf_header(64), ("ELF", 64)), (elf_header(32), ("ELF", 32)),
    (pe_header(0x014C), ("PE", 32)), (pe_header(0x8664), ("PE", 64)), (b"#!/bin/sh\n", (None, None)),
])
def test_file_bits_reads_the_headers(tmp_path, content, kind):
    path = tmp_path / "f"
    path.write_bytes(content)
    assert m._library.file_bits(path) == kind
