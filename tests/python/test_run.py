"""ecflux.run against the program: the same files, the same values in the
frames, its warnings and notes, and the caller's working directory kept."""

import csv
import json
import sys
import threading
from pathlib import Path

import numpy as np
import pytest

import ecflux
from conftest import (CSV_OUTPUTS, OUTPUTS, example_folder, run_program, synthetic,
                      synthetic_folder)


def record_without_this_run(path, folder):
    """run.json without what differs between two runs of the same inputs:
    the times, the command line, and the folder's name."""
    record = json.loads(Path(path).read_text().replace(str(folder), "FOLDER"))
    del record["timing"], record["command_line"]
    return record


def read_csv(path):
    """A CSV file as Python's csv module reads it: every number by float(),
    which reads the shortest text back to the double it came from."""
    with open(path, newline="") as file:
        rows = list(csv.reader(file))
    return rows[0], [[float(value) if value else float("nan") for value in row]
                     for row in rows[1:]]


def assert_frame_holds_csv(frame, path, index=None):
    names, rows = read_csv(path)
    table = frame.reset_index() if index else frame
    assert list(table.columns) == names
    expected = np.array(rows)
    actual = table.to_numpy(dtype=float)
    assert actual.shape == expected.shape
    # Equal as doubles, NaN where the CSV field is empty.
    np.testing.assert_array_equal(actual, expected)


@pytest.mark.parametrize("options, words", [
    ({"csv": True}, ["--csv"]),
    ({"csv": True, "qc": True}, ["--csv", "--qc"]),
    ({"rotate": "double", "density": 1027.5, "missing": [-9999, 9999]},
     ["--rotate=double", "--density=1027.5", "--missing=-9999", "--missing=9999"]),
])
def test_run_writes_what_the_program_writes(tmp_path, options, words):
    by_program = example_folder(tmp_path, "program")
    by_module = example_folder(tmp_path, "module")
    status, _ = run_program(by_program, *words)
    assert status == 0

    run = ecflux.run(by_module, **options)

    written = (CSV_OUTPUTS if options.get("csv") else OUTPUTS) + (
        ["cospectra.csv"] if options.get("qc") else [])
    for name in written:
        if name != "run.json":
            assert (by_module / name).read_bytes() == (by_program / name).read_bytes(), name
    assert record_without_this_run(by_module / "run.json", by_module) == \
        record_without_this_run(by_program / "run.json", by_program)
    assert run.info["command_line"] == ["ecflux", *words, str(by_module)]
    assert sorted(path.name for path in run.files.values()) == sorted(written)
    assert all(path.parent == by_module for path in run.files.values())
    if options.get("csv"):
        assert_frame_holds_csv(run.blocks, by_module / "blocks.csv", index="block")
        assert_frame_holds_csv(run.window_fluxes, by_module / "window_fluxes.csv")


def test_frames_of_a_run_without_csv_are_those_of_the_csv_files(tmp_path):
    with_csv = example_folder(tmp_path, "with_csv")
    without = example_folder(tmp_path, "without")
    assert run_program(with_csv, "--csv")[0] == 0

    run = ecflux.run(without)

    assert_frame_holds_csv(run.blocks, with_csv / "blocks.csv", index="block")
    assert_frame_holds_csv(run.window_fluxes, with_csv / "window_fluxes.csv")
    assert not (without / "blocks.csv").exists()
    assert run.blocks.index.name == "block"
    assert list(run.blocks.index) == [1, 2, 3]
    assert run.blocks["samples"].dtype == np.int64
    assert run.blocks["flux_run_W_m2"].dtype == np.float64
    assert run.blocks.attrs["units"]["flux_run_W_m2"] == "W/m²"
    assert run.blocks.attrs["units"]["u_mean_cm_s"] == "cm/s"
    assert run.window_fluxes.attrs["units"]["flux_K_m_day"] == "K·m/day"
    assert run.blocks.attrs["time_unit"] == "hours"
    assert run.info["blocks"]["complete"] == 3


def folder_with_a_word_in_its_data(parent, at_line):
    """A synthetic run folder whose data hold the word NaN on a line, which
    ends the input there with a warning."""
    folder = synthetic_folder(parent, synthetic(16 * 200))
    lines = (folder / "record.dat").read_text().splitlines()
    lines[at_line - 1] = "NaN 1 2 3 4 5 6"
    (folder / "record.dat").write_text("\n".join(lines) + "\n")
    return folder


def test_warnings_come_as_python_warnings_and_as_values(tmp_path):
    folder = folder_with_a_word_in_its_data(tmp_path, 16 * 130 + 1)
    status, standard_error = run_program(folder)
    assert status == 0
    expected = [line for line in standard_error.splitlines() if "warning:" in line]
    assert expected

    with pytest.warns(ecflux.RunWarning) as shown:
        run = ecflux.run(folder)

    assert ["ecflux: warning: " + str(warning.message) for warning in shown] == expected
    assert [warning.text for warning in run.warnings] == [str(w.message) for w in shown]
    unreadable = [warning for warning in run.warnings if warning.kind == "unreadable_value"]
    assert len(unreadable) == 1
    assert unreadable[0].line == 16 * 130 + 1
    assert unreadable[0].file == str(folder / "record.dat")
    assert len(run.blocks.index) == 2


def test_strict_refuses_a_run_with_warnings_and_keeps_the_earlier_results(tmp_path):
    folder = folder_with_a_word_in_its_data(tmp_path, 16 * 130 + 1)
    assert run_program(folder)[0] == 0
    before = {name: (folder / name).read_bytes() for name in OUTPUTS}

    with pytest.raises(ecflux.RefusedError) as refused:
        with pytest.warns(ecflux.RunWarning):
            ecflux.run(folder, strict=True)

    assert str(refused.value) == "ecflux: --strict: the run gave 1 warning; nothing was replaced"
    assert refused.value.lines[-1] == f"ecflux: the earlier results in {folder} are unchanged"
    assert {name: (folder / name).read_bytes() for name in OUTPUTS} == before


def test_notes_go_to_standard_error(tmp_path, capsys):
    folder = example_folder(tmp_path)
    (folder / ".cumflux.out.ecflux-partial").write_text("left by a run that was killed\n")

    ecflux.run(folder)

    assert capsys.readouterr().err == (
        "ecflux: removed what a run that did not complete left behind: "
        f"{folder}/.cumflux.out.ecflux-partial\n")


def test_progress_is_called_after_each_block(example):
    done = []

    ecflux.run(example, progress=done.append)

    assert done == [1, 2, 3]


def test_progress_without_tqdm_is_a_line_on_standard_error(example, capsys, monkeypatch):
    monkeypatch.setitem(sys.modules, "tqdm.auto", None)

    ecflux.run(example, progress=True)

    assert capsys.readouterr().err == \
        "\recflux: 1 block\recflux: 2 blocks\recflux: 3 blocks\n"


def test_an_exception_of_the_progress_callback_stops_the_run(example):
    assert run_program(example)[0] == 0
    before = {name: (example / name).read_bytes() for name in OUTPUTS}

    def stop(blocks):
        raise RuntimeError(f"stopped at {blocks}")

    with pytest.raises(RuntimeError, match="stopped at 1"):
        ecflux.run(example, progress=stop)
    assert {name: (example / name).read_bytes() for name in OUTPUTS} == before


def test_the_working_directory_stays_the_callers(tmp_path, monkeypatch):
    folder = example_folder(tmp_path)
    monkeypatch.chdir(tmp_path)

    relative = ecflux.run("example")
    assert Path.cwd() == tmp_path
    as_path = ecflux.run(Path("example"))
    (folder / "ConfigDRAVEK.Dat").unlink()
    with pytest.raises(ecflux.ConfigurationError):
        ecflux.run(folder)

    assert Path.cwd() == tmp_path
    assert relative.folder == folder == as_path.folder
    assert relative.blocks.equals(as_path.blocks)


def test_runs_from_two_threads_take_turns(tmp_path, monkeypatch):
    folders = [example_folder(tmp_path, name) for name in ("first", "second")]
    monkeypatch.chdir(tmp_path)
    runs = {}

    def run(folder):
        runs[folder.name] = ecflux.run(folder.name, csv=True)

    threads = [threading.Thread(target=run, args=(folder,)) for folder in folders]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()

    assert runs["first"].blocks.equals(runs["second"].blocks)
    assert [runs[name].folder for name in ("first", "second")] == folders
    assert Path.cwd() == tmp_path
    for name in ["results.out", "cumflux.out", "CFSHIFT.out", "Cospectra.out", "blocks.csv"]:
        assert (folders[0] / name).read_bytes() == (folders[1] / name).read_bytes()
