"""MORVANTEPORTIO.DLL, the 32-bit one, executed: loaded as Windows loads it,
called with the stdcall convention on each kind of Windows, its results
checked bit for bit, its time-out on a scripted clock, and the cost of a poll
pass counted in the DLL's own instructions."""
import struct

import pytest

from pe32 import is_division

NO_READING = 0x501502F9  # 1e10f
EXPORTS = {"Init": 1, "LitTension": 2, "OKCarte": 3, "in_port": 4, "out_port": 5, "readad": 6}


def f32(x):
    return struct.unpack("<f", struct.pack("<f", x))[0]


def bits(x):
    return struct.unpack("<I", struct.pack("<f", x))[0]


def volts_bits(code):
    """What the scale gives: (code - 2047.5) x (5.12 / 2047) in double, rounded to single."""
    return bits((code - 2047.5) * (5.12 / 2047))


def mean_bits(codes):
    """The mean as the averaging defines it: a single-precision sum rounded
    after every addition, divided in double by the count, rounded to single."""
    total = f32(0.0)
    for code in codes:
        total = f32(total + struct.unpack("<f", struct.pack("<I", volts_bits(code)))[0])
    return bits(total / len(codes))


def accesses(kernel, path=None):
    return [(d, p, v) for (pa, d, p, v) in kernel.log if path is None or pa == path]


def expected_path(family):
    return "cpu" if family == "95/98/Me" else "driver"


# ---- Loading -------------------------------------------------------------------------


def test_exports_the_six_at_their_ordinals(load):
    machine, _ = load("NT")
    assert {name: ordinal for name, (ordinal, _) in machine.image.exports().items()} == EXPORTS
    assert sorted(machine.imported) == sorted([
        "DlPortIO.dll!DlPortReadPortUchar", "DlPortIO.dll!DlPortWritePortUchar", "KERNEL32.dll!GetModuleHandleA",
        "KERNEL32.dll!GetTickCount", "KERNEL32.dll!GetVersion", "KERNEL32.dll!QueryPerformanceCounter",
        "KERNEL32.dll!QueryPerformanceFrequency"])


def test_loading_touches_no_port_and_probes_nothing(load, family):
    machine, kernel = load(family)
    assert kernel.log == []
    assert machine.call("OKCarte") == 0
    assert machine.call("LitTension", 0, 3, returns="float") == NO_READING
    assert kernel.log == []


# ---- The probe -------------------------------------------------------------------------


def test_the_probe_finds_the_card_with_its_familys_accesses(load, family):
    machine, kernel = load(family)
    kernel.card.busy_reads = 2
    assert machine.call("Init") == 1 and machine.call("OKCarte") == 1
    start_and_wait = [("out", 0x280, 0xFF), ("in", 0x284, 0x01), ("in", 0x284, 0x01), ("in", 0x284, 0x00)]
    if family == "95/98/Me":
        assert accesses(kernel, "cpu") == start_and_wait + [("in", 0x280, 0x80), ("in", 0x281, 0x00)]
    else:
        assert accesses(kernel, "driver") == start_and_wait
    assert accesses(kernel) == accesses(kernel, expected_path(family)), "every access on the family's path"
    assert kernel.version_asked == 1 + len(kernel.log), "the family is asked by Init and before every access"


def test_a_silent_card_is_not_found_and_the_flag_clears(load, family):
    machine, kernel = load(family, frequency=10_000_000, step=10_000)  # 1 ms per clock reading
    assert machine.call("Init") == 1
    kernel.card.present = False
    kernel.log.clear()
    assert machine.call("Init") == 0 and machine.call("OKCarte") == 0
    assert [p for (_, p, _) in accesses(kernel) if p != 0x284] == [0x280], "start, then status reads only"
    assert machine.call("LitTension", 0, 5, returns="float") == NO_READING


# ---- Conversions, bit for bit ------------------------------------------------------------


@pytest.mark.parametrize("control_word", [0x027F, 0x037F], ids=["53-bit x87", "64-bit x87"])
def test_every_code_scales_bit_exactly(load, family, control_word):
    machine, kernel = load(family)
    machine.host_control_word = control_word
    for code in range(4096):
        kernel.card.code[0] = code
        assert machine.call("readad", 0, returns="float") == volts_bits(code), f"code {code}"
    for code in range(0, 4096, 7):
        kernel.card.code[1] = code
        assert machine.call("readad", 1, returns="float") == volts_bits(code), f"channel 1, code {code}"


AVERAGE_CASES = {
    "seven of code 1: the rounded running sum": ([1] * 7, 0xC0A3CCCB),
    "seven of code 2048": ([2048] * 7, volts_bits(2048)),
    "one sample": ([3000], volts_bits(3000)),
    "three of ten time out": ([100, None, 200, 300, None, 400, 500, 600, None, 700], None),
    "fifteen at full scale": ([4095] * 15, bits(5.121251106262207)),
    "twenty at full scale": ([4095] * 20, bits(5.121251583099365)),
    "every one times out": ([None] * 3, NO_READING),
}


@pytest.mark.parametrize("case", list(AVERAGE_CASES))
def test_averages_as_defined(load, family, case):
    plan, expected = AVERAGE_CASES[case]
    machine, kernel = load(family, frequency=10_000_000, step=10_000)
    assert machine.call("Init") == 1
    kernel.card.plan[1].extend(plan)
    good = [c for c in plan if c is not None]
    want = expected if expected is not None else mean_bits(good)
    assert machine.call("LitTension", 1, len(plan), returns="float") == want
    assert not kernel.card.plan[1], "every conversion is tried"


@pytest.mark.parametrize("channel", [2, -1, 0x10000])
def test_a_channel_that_does_not_exist_returns_at_once_and_touches_nothing(load, family, channel):
    machine, kernel = load(family)
    assert machine.call("Init") == 1
    kernel.log.clear()
    counted = machine.count_instructions(
        lambda: machine.call("LitTension", channel, 0x7FFFFFFF, returns="float") == NO_READING or pytest.fail())
    assert machine.call("readad", channel, returns="float") == NO_READING
    assert kernel.log == []
    assert sum(counted.values()) < 200, "no loop over count conversions that cannot happen"


# ---- The time-out, on a scripted clock -----------------------------------------------------

# (frequency, counts per clock reading, jump before the first reading in readad)
CLOCKS = {
    "10 MHz, 1 ms a reading": (10_000_000, 10_000, 0),
    "3.579545 MHz, about 1 ms a reading": (3_579_545, 3_580, 0),
    "1.193182 MHz, 0.3 ms a reading": (1_193_182, 358, 0),
    "10 MHz, the count of ms wraps past 2^32 mid-wait": (10_000_000, 10_000, (2**32 - 50) * 10_000),
    "2.4 GHz, 1 ms a reading": (2_400_000_000, 2_400_000, 0),
}


def expected_status_reads(kernel, frequency, step, jump):
    """How many status reads a conversion that never finishes gets: the clock
    is read once before the poll, then before each status read; the wait ends
    on the first pass whose elapsed time is 100 ms or more."""
    origin = kernel.counter - step  # DllMain read the counter just before
    def ms(c):
        return ((c - origin) * 1000 // frequency) & 0xFFFFFFFF
    c = kernel.counter + jump
    t0, reads = ms(c), 0
    while True:
        c += step
        elapsed = (ms(c) - t0) & 0xFFFFFFFF
        elapsed = elapsed - 2**32 if elapsed >= 2**31 else elapsed
        reads += 1
        if elapsed * 0.001 >= 0.1:
            return reads


@pytest.mark.parametrize("clock", list(CLOCKS))
@pytest.mark.parametrize("control_word", [0x027F, 0x007F], ids=["53-bit x87", "24-bit x87"])
def test_a_conversion_that_never_finishes_times_out_at_100ms(load, family, clock, control_word):
    frequency, step, jump = CLOCKS[clock]
    machine, kernel = load(family, frequency=frequency, step=step)
    machine.host_control_word = control_word
    kernel.card.plan[0].append(None)
    want = expected_status_reads(kernel, frequency, step, jump)
    kernel.jumps.append(jump)
    assert machine.call("readad", 0, returns="float") == NO_READING
    reads = [p for (d, p, _) in accesses(kernel) if d == "in"]
    assert reads == [0x284] * want, "status reads only, until 100 ms have passed"
    if frequency == 10_000_000:
        assert want == 100


@pytest.mark.parametrize("busy_reads, answers", [(98, True), (99, False), (150, False)],
                         ids=["clears at 99 ms", "clears on the pass that reaches 100 ms", "clears too late"])
def test_the_edge_of_the_time_out(load, family, busy_reads, answers):
    machine, kernel = load(family, frequency=10_000_000, step=10_000)
    kernel.card.busy_reads = busy_reads
    kernel.card.code[0] = 0x9AB
    result = machine.call("readad", 0, returns="float")
    assert result == (volts_bits(0x9AB) if answers else NO_READING)


# ---- The port functions ----------------------------------------------------------------------


@pytest.mark.parametrize("port, value", [(0x378, 0x55), (0x12345, 0x1A5), (-1, -1)])
def test_in_port_and_out_port_reach_the_familys_path(load, family, port, value):
    machine, kernel = load(family)
    machine.call("out_port", port, value, returns="void")
    machine.call("in_port", port)
    if family == "95/98/Me":
        assert kernel.log == [("cpu", "out", port & 0xFFFF, value & 0xFF), ("cpu", "in", port & 0xFFFF, 0xFF)]
    else:
        assert kernel.log == [("driver", "out", port & 0xFFFFFFFF, value & 0xFF),
                              ("driver", "in", port & 0xFFFFFFFF, 0xFF)]
    assert kernel.version_asked == 2


def test_an_nt_kernel_that_says_98_never_runs_the_instructions(load):
    machine, kernel = load("NT saying 98", frequency=10_000_000, step=10_000)
    for name, args, returns in [("Init", (), "int"), ("readad", (1,), "float"), ("LitTension", (0, 3), "float"),
                                ("in_port", (0x284,), "int"), ("out_port", (0x280, 0xFF), "void")]:
        machine.call(name, *args, returns=returns)  # an IN or OUT would raise: a fault on NT
    assert kernel.log and all(path == "driver" for (path, _, _, _) in kernel.log)
    assert kernel.version_asked > 0


# ---- What a poll pass costs ------------------------------------------------------------------


def test_a_poll_pass_costs_few_instructions_and_divides_nothing(load, family, figures):
    machine, kernel = load(family, frequency=3_579_545, step=1)

    def conversion(busy):
        kernel.card.busy_reads = busy
        return machine.count_instructions(lambda: machine.call("readad", 0, returns="float"))

    short, long = conversion(10), conversion(110)
    per_pass = (sum(long.values()) - sum(short.values())) / 100
    in_pass = [a for a in long if long[a] != short.get(a, 0)]
    helpers = {name: machine.base + rva for name, rva in machine.image.symbols().items()
               if "div" in name or "mod" in name}
    assert per_pass == int(per_pass), "every pass runs the same instructions"
    assert not [hex(a) for a in in_pass if is_division(machine.instruction_bytes(a))], "a division in the pass"
    assert not [n for n, a in helpers.items() if a in in_pass], "a division helper in the pass"
    figures.append(f"{family}: {int(per_pass)} of the DLL's instructions per poll pass "
                   f"(imports excluded); a whole conversion with 10 busy passes: {sum(short.values())}")
    assert per_pass <= 60, "the aim: 60 instructions or fewer per pass"
