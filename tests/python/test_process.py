"""ecflux.process on arrays against a run of a data file holding the same
values: every column equal to the bit, on the example, on synthetic arrays
with start and end times and quality control, and on a day at 16 Hz."""

import subprocess

import numpy as np
import pandas as pd
import pytest

import ecflux
from conftest import MAKE_RECORD, synthetic, synthetic_folder

# The data file's lines where a block's records begin; for arrays, samples.
LINES = ["first_line", "last_line"]


def assert_same_results(computed, run):
    assert computed.blocks.drop(columns=LINES).equals(run.blocks.drop(columns=LINES))
    assert computed.window_fluxes.equals(run.window_fluxes)
    assert computed.blocks.attrs["units"] == run.blocks.attrs["units"]


def columns_of(path, columns):
    """The data file's columns as the program reads them: Python's own
    reading of a number gives the nearest double, as the program's does."""
    table = pd.read_csv(path, sep=r"\s+", skiprows=1, header=None, float_precision="round_trip")
    return [table[c].to_numpy() for c in columns]


def test_the_example(example):
    run = ecflux.run(example)
    # The example's configuration takes w from column 4 and the temperature
    # from column 7.
    time, u, v, w, temperature = columns_of(example / "example.dat", [0, 1, 2, 3, 6])

    computed = ecflux.process(time, u, v, w, temperature, sample_rate=10.0, block_seconds=60,
                              window_seconds=30)

    assert_same_results(computed, run)
    assert list(computed.blocks["first_line"]) == [1, 601, 1201]
    assert computed.files == {} and computed.folder is None
    assert computed.info["sizes"] == run.info["sizes"]
    assert computed.info["data"]["records_read"] == 2100
    assert computed.info["blocks"]["quality_flags"] == run.info["blocks"]["quality_flags"]


@pytest.mark.parametrize("settings, options", [
    ({}, {}),
    ({"start": 15.5, "end": 400.0}, {}),
    ({"rate": 20.0, "block": 30, "window": 45}, {}),  # the window cut to the block
    ({}, {"despike": True, "rotate": "double", "uncertainty": True, "spectra": True}),
    ({}, {"qc": True, "density": 1020.0, "heat_capacity": 3990.0}),
])
def test_synthetic_arrays(tmp_path, settings, options):
    rate = settings.get("rate", 16.0)
    arrays = synthetic(int(rate * 500), rate=rate)
    folder = synthetic_folder(tmp_path, arrays, rate=rate, start=settings.get("start", 0.0),
                              end=settings.get("end", 0.0), block=settings.get("block", 60),
                              window=settings.get("window", 10))
    run = ecflux.run(folder, **options)

    computed = ecflux.process(
        *arrays, sample_rate=rate, block_seconds=settings.get("block", 60),
        window_seconds=settings.get("window", 10), start_time=settings.get("start"),
        end_time=settings.get("end"), **options)

    assert_same_results(computed, run)
    assert len(computed.blocks.index) >= 3
    assert computed.info["quality_control"] == run.info["quality_control"]
    assert computed.info["data"]["first_time"] == run.info["data"]["first_time"]
    assert computed.info["data"]["records_before_start"] == \
        run.info["data"]["records_before_start"]


def test_a_day_at_16_hz(tmp_path):
    folder = tmp_path / "day"
    folder.mkdir()
    subprocess.run([str(MAKE_RECORD), str(folder / "day16.dat"), "--rate", "16", "--seconds",
                    "86400", "--config", str(folder / "ConfigDRAVEK.Dat"), "--block", "3600",
                    "--window", "300"], check=True)
    with pytest.warns(ecflux.RunWarning):  # its times in seconds do not fit cumflux.out
        run = ecflux.run(folder)
    # The record's configuration takes w from column 4 and the temperature
    # from column 7.
    arrays = columns_of(folder / "day16.dat", [0, 1, 2, 3, 6])

    with pytest.warns(ecflux.RunWarning):
        computed = ecflux.process(*arrays, sample_rate=16.0, block_seconds=3600,
                                  window_seconds=300)

    assert len(computed.blocks.index) == 24
    assert len(computed.window_fluxes.index) == 24 * run.info["sizes"]["window_lengths"]
    assert_same_results(computed, run)
    assert [w.kind for w in computed.warnings] == [w.kind for w in run.warnings]


def test_a_value_that_is_not_a_number_ends_the_input_with_a_warning_naming_the_sample():
    time, u, v, w, temperature = synthetic(16 * 200)
    w[16 * 130] = np.nan

    with pytest.warns(ecflux.RunWarning) as shown:
        computed = ecflux.process(time, u, v, w, temperature, sample_rate=16.0, block_seconds=60,
                                  window_seconds=10)

    assert len(computed.blocks.index) == 2
    unreadable = [w for w in computed.warnings if w.kind == "unreadable_value"]
    assert len(unreadable) == 1 and unreadable[0].line == 16 * 130 + 1
    assert unreadable[0].file == ""
    assert len(shown) == len(computed.warnings)


def test_missing_values_with_missing_are_filled_instead():
    time, u, v, w, temperature = synthetic(16 * 200)
    w[16 * 130] = np.nan

    computed = ecflux.process(time, u, v, w, temperature, sample_rate=16.0, block_seconds=60,
                              window_seconds=10, missing=-9999)

    assert len(computed.blocks.index) == 3
    assert list(computed.blocks["missing_samples"]) == [0, 0, 1]


def test_dataframe_columns_and_other_numbers_are_taken():
    time, u, v, w, temperature = synthetic(16 * 200)
    frame = pd.DataFrame({"t": time, "u": u, "v": v, "w": w, "T": temperature})
    expected = ecflux.process(time, u, v, w, temperature, sample_rate=16.0, block_seconds=60,
                              window_seconds=10)

    from_frame = ecflux.process(frame["t"], frame["u"], frame["v"], frame["w"], frame["T"],
                                sample_rate=16, block_seconds=np.int64(60), window_seconds=10)
    from_lists = ecflux.process(list(time), list(u), list(v), list(w), list(temperature),
                                sample_rate=16.0, block_seconds=60, window_seconds=10)

    assert from_frame.blocks.equals(expected.blocks)
    assert from_lists.blocks.equals(expected.blocks)


@pytest.mark.parametrize("change, error, message", [
    (lambda arrays: arrays[3][:-1], ecflux.RefusedError, "must be of one length"),
    (lambda arrays: arrays[3].reshape(2, -1), ValueError, "one-dimensional"),
])
def test_arrays_that_cannot_be_samples(change, error, message):
    arrays = list(synthetic(16 * 200))
    arrays[3] = change(arrays)
    with pytest.raises(error, match=message):
        ecflux.process(*arrays, sample_rate=16.0, block_seconds=60, window_seconds=10)


def test_samples_that_fill_no_block_are_refused():
    with pytest.raises(ecflux.RefusedError, match="^ecflux: nothing to compute: "):
        ecflux.process(*synthetic(100), sample_rate=16.0, block_seconds=60, window_seconds=10)
