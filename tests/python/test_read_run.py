"""ecflux.read_run: a finished run's results from its files, the CSV files
when they hold the run's results, otherwise the fixed-column files, whose
fields that are no number become NaN with a warning naming the column."""

import os
import warnings

import numpy as np
import pytest

import ecflux
from conftest import example_folder, run_program, synthetic, synthetic_folder

# The decimals of the results file's fields, by the column of the frame.
DECIMALS = {
    "time_mean": 4, "u_mean_cm_s": 3, "v_mean_cm_s": 3, "w_mean_cm_s": 3, "w_std_cm_s": 3,
    "magnitude_cm_s": 3, "magnitude_std_cm_s": 3, "direction_deg": 1, "temperature_mean_K": 3,
    "temperature_std_K": 3, "flux_linear_W_m2": 2, "flux_run_W_m2": 2,
    "flux_linear_min_W_m2": 2, "flux_run_min_W_m2": 2, "flux_linear_max_W_m2": 2,
    "flux_run_max_W_m2": 2, "delay_linear_min_s": 2, "delay_run_min_s": 2,
    "delay_linear_max_s": 2, "delay_run_max_s": 2,
}


def as_written(values, decimals):
    """Values as a fixed field of that many decimals holds them."""
    return np.array([float(f"{value:.{decimals}f}") for value in values])


def test_the_csv_files_give_the_runs_frames(example):
    run = ecflux.run(example, csv=True)

    read = ecflux.read_run(example)

    assert read.blocks.equals(run.blocks)
    assert read.window_fluxes.equals(run.window_fluxes)
    assert read.blocks.attrs["file"] == str(example / "blocks.csv")
    assert read.blocks.attrs["units"] == run.blocks.attrs["units"]
    assert read.info == run.info
    assert read.files == run.files
    assert read.folder == example


def test_the_fixed_files_give_the_values_to_their_decimals(tmp_path):
    with_csv = example_folder(tmp_path, "with_csv")
    fixed = example_folder(tmp_path, "fixed")
    full = ecflux.run(with_csv, csv=True)
    assert run_program(fixed)[0] == 0

    with warnings.catch_warnings():
        warnings.simplefilter("error")
        read = ecflux.read_run(fixed)

    assert read.blocks.attrs["file"] == str(fixed / "results.out")
    assert list(read.blocks.columns) == list(DECIMALS)
    assert read.blocks.index.equals(full.blocks.index)
    for column, decimals in DECIMALS.items():
        np.testing.assert_array_equal(read.blocks[column],
                                      as_written(full.blocks[column], decimals), column)
    windows, expected = read.window_fluxes, full.window_fluxes
    assert read.window_fluxes.attrs["file"] == str(fixed / "Cospectra.out")
    assert list(windows.columns) == ["block", "time_mean", "window_samples", "window_s",
                                     "frequency_Hz", "flux_K_m_day"]
    for column in ["block", "window_samples", "window_s"]:
        assert windows[column].equals(expected[column])
    np.testing.assert_array_equal(windows["time_mean"], as_written(expected["time_mean"], 4))
    np.testing.assert_array_equal(windows["frequency_Hz"],
                                  as_written(expected["frequency_Hz"], 6))
    np.testing.assert_array_equal(windows["flux_K_m_day"],
                                  as_written(expected["flux_K_m_day"], 4))
    assert read.blocks.attrs["unread"] == {}


def test_asterisk_times_are_nan_with_a_warning_naming_the_column(tmp_path):
    # Times as seconds since 1970 do not fit the results file's TIME.
    folder = synthetic_folder(tmp_path, synthetic(16 * 200, start=1.7e9))
    with pytest.warns(ecflux.RunWarning):
        full = ecflux.run(folder, csv=True)
    (folder / "blocks.csv").unlink()
    (folder / "window_fluxes.csv").unlink()

    with pytest.warns(ecflux.FieldWarning) as shown:
        read = ecflux.read_run(folder)

    assert read.blocks["time_mean"].isna().all()
    assert read.window_fluxes["time_mean"].isna().all()
    assert read.blocks["flux_run_W_m2"].notna().all()
    by_column = {(warning.message.file, warning.message.column): warning.message
                 for warning in shown}
    blocks = by_column[(str(folder / "results.out"), "time_mean")]
    assert (blocks.label, blocks.asterisks, blocks.not_numbers) == ("TIME", 3, 0)
    assert "TIME (column time_mean)" in str(blocks)
    assert by_column[(str(folder / "Cospectra.out"), "time_mean")].asterisks == 3
    assert read.blocks.attrs["unread"] == {"time_mean": 3}
    assert [warning.kind for warning in read.warnings] == [w.kind for w in full.warnings]


def test_a_time_too_wide_for_the_window_table_is_the_results_files(tmp_path):
    # A day's seconds fit the results file's TIME but not Cospectra.out's.
    folder = synthetic_folder(tmp_path, synthetic(16 * 200, start=50000.0))
    with pytest.warns(ecflux.RunWarning):
        full = ecflux.run(folder, csv=True)
    (folder / "blocks.csv").unlink()
    (folder / "window_fluxes.csv").unlink()
    assert b"*********" in (folder / "Cospectra.out").read_bytes().splitlines()[0]

    with warnings.catch_warnings():
        warnings.simplefilter("error", ecflux.FieldWarning)
        read = ecflux.read_run(folder)

    np.testing.assert_array_equal(read.window_fluxes["time_mean"],
                                  as_written(full.window_fluxes["time_mean"], 4))


def test_csv_files_older_than_the_results_are_not_the_runs(example):
    ecflux.run(example, csv=True)
    results_time = (example / "results.out").stat().st_mtime
    for name in ["blocks.csv", "window_fluxes.csv"]:
        os.utime(example / name, (results_time - 60, results_time - 60))

    read = ecflux.read_run(example)

    assert read.blocks.attrs["file"] == str(example / "results.out")


def test_a_run_without_its_record(example):
    assert run_program(example)[0] == 0
    (example / "run.json").unlink()

    read = ecflux.read_run(example)

    assert read.info is None and read.warnings == [] and read.files == {}
    assert len(read.blocks.index) == 3


def test_a_folder_without_results(example):
    with pytest.raises(ecflux.OutputError, match=r"file not found, unit 9, file .*results.out"):
        ecflux.read_run(example)
