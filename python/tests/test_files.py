"""read_csv on files that adcread wrote, and the plot."""
import csv
import datetime as dt
import math
import subprocess
import sys

import numpy as np
import pytest

import morvanteportio as m
from morvanteportio.plot import plot


def csv_columns(path):
    rows = list(csv.reader(line for line in path.read_text().splitlines() if not line.startswith("#")))
    return rows[0], rows[1:]


def test_read_csv_gives_back_what_adcread_wrote(adcread, tmp_path):
    path = tmp_path / "run.csv"
    adcread("--readings", "8", "--interval", "0.01", "--count", "3", "--format", "csv", "-o", str(path),
            MORVANTE_SIM_CH0="sine:2:10", MORVANTE_SIM_CARD="dies-after:28")
    run = m.read_csv(path)
    header, rows = csv_columns(path)
    assert run.channels == [0, 1] and len(run) == 8
    assert run.count == 3 and run.interval == 0.01 and run.library.endswith("libmorvanteportio-sim.so")
    for i, row in enumerate(rows):
        assert run.elapsed[i] == float(row[1])
        for channel, cell in zip((0, 1), row[2:]):
            expected = np.float32(float(cell))
            if math.isnan(expected):
                assert math.isnan(run.volts[channel][i])
            else:
                assert run.volts[channel][i] == expected, "nine digits give back the very float32"
    assert any(math.isnan(v) for v in run.volts[1]) and not math.isnan(run.volts[0][0])
    start = next(line for line in path.read_text().splitlines() if line.startswith("# start: "))
    assert run.start == dt.datetime.fromisoformat(start[9:-1]).replace(tzinfo=dt.timezone.utc)
    assert str(run.times()[0]) == rows[0][0][:-1]


def test_read_csv_of_one_channel(adcread, tmp_path):
    path = tmp_path / "one.csv"
    adcread("--channel", "1", "--readings", "2", "--interval", "0", "--format", "csv", "-o", str(path))
    run = m.read_csv(path)
    assert run.channels == [1] and run.volts[1].dtype == np.float32


@pytest.mark.parametrize("text", ["", "a,b,c\n1,2,3\n", "time_utc,elapsed_s,ch0_V\nx,0.1\n",
                                  "time_utc,elapsed_s,ch0_V\nx,zero,1.0\n"],
                         ids=["empty", "not adcread's header", "short row", "not a number"])
def test_read_csv_refuses_what_adcread_did_not_write(tmp_path, text):
    path = tmp_path / "bad.csv"
    path.write_text(text)
    with pytest.raises(ValueError):
        m.read_csv(path)


def test_plot_writes_a_png_from_an_adcread_file(adcread, tmp_path):
    path = tmp_path / "run.csv"
    adcread("--readings", "20", "--interval", "0.005", "--count", "1", "--format", "csv", "-o", str(path),
            MORVANTE_SIM_CH1="triangle:3:20")
    picture = tmp_path / "run.png"
    result = subprocess.run([sys.executable, "-m", "morvanteportio", "plot", str(path), "-o", str(picture)],
                            capture_output=True, text=True, timeout=120)
    assert result.returncode == 0, result.stderr
    assert picture.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    import matplotlib.image
    height, width = matplotlib.image.imread(picture).shape[:2]
    assert (width, height) == (1000, 500)
    default = subprocess.run([sys.executable, "-m", "morvanteportio", "plot", str(path)],
                             capture_output=True, text=True, timeout=120)
    assert default.returncode == 0 and (tmp_path / "run.png").is_file()


def test_plot_draws_a_line_per_channel_with_gaps_and_units():
    run = m.Recording(start=dt.datetime(2026, 12, 11, tzinfo=dt.timezone.utc), elapsed=np.arange(4.0),
                      volts={0: np.array([1, np.nan, 1, 1], np.float32), 1: np.array([2, 2, 2, 2], np.float32)})
    figure = plot(run)
    axes = figure.axes[0]
    assert [line.get_label() for line in axes.lines] == ["channel 0", "channel 1"]
    assert np.isnan(axes.lines[0].get_ydata()[1]), "no reading leaves a gap"
    assert "(s)" in axes.get_xlabel() and "(V)" in axes.get_ylabel()


def test_plot_of_a_missing_file_says_so(tmp_path):
    result = subprocess.run([sys.executable, "-m", "morvanteportio", "plot", str(tmp_path / "none.csv")],
                            capture_output=True, text=True, timeout=60)
    assert result.returncode == 1 and "none.csv" in result.stderr
