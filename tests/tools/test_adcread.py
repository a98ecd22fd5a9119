"""adcread end to end, on the simulated card: what it writes, its exit
statuses, its schedule, Ctrl-C, and the MORVANTE_SIM_* bench."""
import csv
import json
import math
import os
import signal
import subprocess
import time

import pytest

ADCREAD = os.environ["ADCREAD"]
ONE_CODE = 5.12 / 2047


def run(*args, env=None, timeout=60):
    full_env = {k: v for k, v in os.environ.items() if not k.startswith("MORVANTE_SIM_")}
    full_env.update(env or {})
    return subprocess.run([ADCREAD, *args], env=full_env, capture_output=True, text=True, timeout=timeout)


def rows_of(csv_text):
    """The comment lines, the header and the rows of an adcread CSV file."""
    lines = csv_text.splitlines()
    comments = [line for line in lines if line.startswith("#")]
    table = list(csv.reader(line for line in lines if not line.startswith("#")))
    return comments, table[0], table[1:]


def volts(cell):
    return float(cell)  # 'nan' included


# ---- The forms of output -------------------------------------------------------


def test_csv_has_its_comment_lines_header_and_rows():
    r = run("--simulate", "--readings", "3", "--interval", "0", "--format", "csv")
    assert r.returncode == 0, r.stderr
    comments, header, rows = rows_of(r.stdout)
    assert comments[0].startswith("# adcread ")
    assert any(c.startswith("# library: ") and c.endswith("libmorvanteportio-sim.so") for c in comments)
    start = next(c for c in comments if c.startswith("# start: "))
    assert start.endswith("Z") and "T" in start
    assert "# conversions per reading: 10" in comments
    assert "# unit: V" in comments
    assert header == ["time_utc", "elapsed_s", "ch0_V", "ch1_V"]
    assert len(rows) == 3
    for row in rows:
        assert abs(volts(row[2]) - 1.25) <= ONE_CODE
        assert abs(volts(row[3]) + 3.30) <= ONE_CODE
    assert "3 readings" in r.stderr


@pytest.mark.parametrize("channel, header", [("0", ["time_utc", "elapsed_s", "ch0_V"]),
                                             ("1", ["time_utc", "elapsed_s", "ch1_V"])])
def test_csv_holds_only_the_chosen_channel(channel, header):
    r = run("--simulate", "--channel", channel, "--readings", "2", "--interval", "0", "--format", "csv")
    assert r.returncode == 0, r.stderr
    assert rows_of(r.stdout)[1] == header


# The probe is conversion 1; the first reading takes 2 to 5; then the card dies.
DIES_AFTER_FIRST_READING = ["--count", "2", "--readings", "2", "--interval", "0"]


def test_json_lines_parse_and_carry_null_where_there_is_no_value():
    r = run("--simulate", "--format", "jsonl", *DIES_AFTER_FIRST_READING, env={"MORVANTE_SIM_CARD": "dies-after:5"})
    assert r.returncode == 0, r.stderr
    readings = [json.loads(line) for line in r.stdout.splitlines()]
    assert [sorted(x) for x in readings] == [["ch0_V", "ch1_V", "elapsed_s", "time_utc"]] * 2
    assert readings[0]["ch1_V"] == pytest.approx(-3.30, abs=ONE_CODE)
    assert readings[1] == {**readings[1], "ch0_V": None, "ch1_V": None}


def test_table_shows_a_dash_where_there_is_no_value():
    r = run("--simulate", *DIES_AFTER_FIRST_READING, env={"MORVANTE_SIM_CARD": "dies-after:5"})
    assert r.returncode == 0, r.stderr
    lines = r.stdout.splitlines()
    assert lines[0].split() == ["time", "(UTC)", "elapsed", "(s)", "ch0", "(V)", "ch1", "(V)"]
    assert lines[1].split()[2:] == ["+1.2494", "-3.3004"]
    assert lines[2].split()[2:] == ["-", "-"]


# ---- The simulated bench -------------------------------------------------------


def test_a_sine_varies_within_its_amplitude():
    r = run("--simulate", "--channel", "1", "--readings", "20", "--interval", "0.003", "--count", "1",
            "--format", "csv", env={"MORVANTE_SIM_CH1": "sine:2:50"})
    assert r.returncode == 0, r.stderr
    values = [volts(row[2]) for row in rows_of(r.stdout)[2]]
    assert len(set(values)) > 5
    assert all(abs(v) <= 2 + ONE_CODE for v in values)
    assert max(values) > 1 and min(values) < -1


def test_a_dying_card_gives_good_readings_then_nan():
    r = run("--simulate", "--count", "10", "--readings", "3", "--interval", "0", "--format", "csv",
            env={"MORVANTE_SIM_CARD": "dies-after:25"})
    assert r.returncode == 0, r.stderr
    rows = rows_of(r.stdout)[2]
    assert [math.isnan(volts(row[2])) for row in rows] == [False, False, True]
    assert [math.isnan(volts(row[3])) for row in rows] == [False, True, True]
    assert "2 without a value" in r.stderr


def test_a_value_that_does_not_parse_names_the_variable_and_the_default_holds():
    r = run("--simulate", "--readings", "1", "--interval", "0", "--format", "csv",
            env={"MORVANTE_SIM_CH0": "bogus"})
    assert r.returncode == 0
    assert "MORVANTE_SIM_CH0='bogus'" in r.stderr
    assert "sine|square|triangle" in r.stderr
    assert abs(volts(rows_of(r.stdout)[2][0][2]) - 1.25) <= ONE_CODE


def test_a_recording_replays_within_a_code(tmp_path):
    recorded = tmp_path / "recorded.csv"
    replayed = tmp_path / "replayed.csv"
    common = ["--simulate", "--readings", "12", "--interval", "0.05", "--count", "1", "--format", "csv"]
    r = run(*common, "-o", str(recorded), env={"MORVANTE_SIM_CH0": "sine:3:2", "MORVANTE_SIM_CH1": "triangle:4:1.5:0.5"})
    assert r.returncode == 0, r.stderr
    r = run(*common, "-o", str(replayed),
            env={"MORVANTE_SIM_CH0": f"replay:{recorded}", "MORVANTE_SIM_CH1": f"replay:{recorded}"})
    assert r.returncode == 0, r.stderr
    before = rows_of(recorded.read_text())[2]
    after = rows_of(replayed.read_text())[2]
    assert len(set(row[2] for row in before)) > 6, "the recording must vary"
    for k, (a, b) in enumerate(zip(before, after)):
        assert abs(volts(a[2]) - volts(b[2])) <= ONE_CODE, f"reading {k}, channel 0"
        assert abs(volts(a[3]) - volts(b[3])) <= ONE_CODE, f"reading {k}, channel 1"


# ---- Exit statuses ---------------------------------------------------------------


@pytest.mark.parametrize("args", [["--channel", "7"], ["--count", "0"], ["--interval", "-1"], ["--rate", "0"],
                                  ["--readings", "0"], ["--format", "xml"], ["--interval", "1", "--rate", "2"],
                                  ["--readings", "3", "--continuous"], ["--simulate", "--library", "x.so"],
                                  ["--duration", "inf"], ["--bogus"], ["stray"]])
def test_a_bad_argument_exits_64_with_a_one_line_usage(args):
    r = run(*args)
    assert r.returncode == 64
    assert r.stdout == ""
    lines = r.stderr.splitlines()
    assert len(lines) == 2 and lines[0].startswith("adcread: ") and lines[1].startswith("usage: adcread ")


def test_a_card_that_does_not_answer_exits_2_and_says_why():
    r = run("--simulate", env={"MORVANTE_SIM_CARD": "absent"})
    assert r.returncode == 2
    assert r.stdout == ""
    assert "does not answer" in r.stderr and "MORVANTE_SIM_CARD=absent" in r.stderr


def test_a_library_that_cannot_be_loaded_exits_2_and_says_where_it_looked():
    r = run("--library", "/nonexistent/libmorvanteportio.so")
    assert r.returncode == 2
    assert "cannot load" in r.stderr and "/nonexistent/libmorvanteportio.so" in r.stderr


def test_output_that_cannot_be_written_exits_1():
    r = run("--simulate", "--readings", "2", "--interval", "0", "-o", "/dev/full")
    assert r.returncode == 1
    assert "cannot write /dev/full" in r.stderr


def test_output_in_a_missing_folder_exits_1(tmp_path):
    r = run("--simulate", "--readings", "1", "-o", str(tmp_path / "no" / "such.csv"))
    assert r.returncode == 1


def test_check_names_the_path_and_the_card():
    r = run("--simulate", "--check")
    assert r.returncode == 0, r.stderr
    assert "port path: simulated card" in r.stdout and "answers at 0x280" in r.stdout
    r = run("--simulate", "--check", env={"MORVANTE_SIM_CARD": "stuck"})
    assert r.returncode == 2 and "does not answer" in r.stdout


def test_help_and_version():
    r = run("--help")
    assert r.returncode == 0
    for word in ["--simulate", "--library", "--channel", "--count", "--interval", "--rate", "--readings",
                 "--duration", "--continuous", "--format", "--output", "--check", "Exit status", "MORVANTE_SIM_CARD"]:
        assert word in r.stdout
    r = run("--version")
    assert r.returncode == 0 and r.stdout.startswith("adcread ")


# ---- Time ------------------------------------------------------------------------


def test_k_readings_at_interval_i_take_k_minus_1_intervals_without_drift():
    t0 = time.monotonic()
    r = run("--simulate", "--readings", "8", "--interval", "0.1", "--format", "csv")
    took = time.monotonic() - t0
    assert r.returncode == 0, r.stderr
    elapsed = [float(row[1]) for row in rows_of(r.stdout)[2]]
    for k, e in enumerate(elapsed):
        assert k * 0.1 <= e < k * 0.1 + 0.05, f"reading {k} at {e} s"
    assert 0.7 <= took < 0.7 + 1.5
    assert "0 came late" in r.stderr


def test_readings_that_overrun_their_interval_are_counted_late():
    # A stuck card takes 0.1 s per conversion, so each reading takes 0.2 s.
    r = run("--simulate", "--channel", "0", "--count", "2", "--readings", "3", "--interval", "0.05",
            env={"MORVANTE_SIM_CARD": "dies-after:1"})
    assert r.returncode == 0, r.stderr
    assert "2 came late" in r.stderr


def test_duration_bounds_the_run():
    r = run("--simulate", "--duration", "0.5", "--interval", "0.1", "--format", "csv")
    assert r.returncode == 0, r.stderr
    assert len(rows_of(r.stdout)[2]) == 5


def test_ctrl_c_ends_the_run_with_every_finished_reading_written(tmp_path):
    out = tmp_path / "run.csv"
    env = {k: v for k, v in os.environ.items() if not k.startswith("MORVANTE_SIM_")}
    p = subprocess.Popen([ADCREAD, "--simulate", "--continuous", "--interval", "0.02", "--format", "csv",
                          "-o", str(out)], env=env, stderr=subprocess.PIPE, text=True)
    time.sleep(0.6)
    p.send_signal(signal.SIGINT)
    _, err = p.communicate(timeout=10)
    assert p.returncode == 130
    text = out.read_text()
    assert text.endswith("\n")
    comments, header, rows = rows_of(text)
    assert header == ["time_utc", "elapsed_s", "ch0_V", "ch1_V"]
    assert len(rows) >= 10
    assert all(len(row) == 4 and not math.isnan(volts(row[2])) for row in rows)
    assert f"{len(rows)} readings" in err and "stopped by Ctrl-C" in err
