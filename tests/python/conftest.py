"""What the tests of the Python package share: the built programs, run
folders made from the example or from synthetic records, and the state of a
folder to hold against a later one.

The package is imported from the build folder (PYTHONPATH); ECFLUX_BUILD
names the build folder that holds the programs ecflux and make_record."""

import os
import shutil
import subprocess
from pathlib import Path

import numpy as np
import pytest

REPOSITORY = Path(__file__).resolve().parents[2]
EXAMPLES = REPOSITORY / "examples"
BUILD = Path(os.environ.get("ECFLUX_BUILD", REPOSITORY / "build"))
PROGRAM = BUILD / "ecflux"
MAKE_RECORD = BUILD / "make_record"

# The outputs of a run of the example, and of one with --csv.
OUTPUTS = ["results.out", "cumflux.out", "CFSHIFT.out", "Cospectra.out", "run.json"]
CSV_OUTPUTS = OUTPUTS + ["blocks.csv", "window_fluxes.csv"]


def run_program(folder, *options):
    """The program on the folder: its exit status and standard error."""
    done = subprocess.run(
        [str(PROGRAM), *options, str(folder)], capture_output=True, text=True, check=False
    )
    return done.returncode, done.stderr


def example_folder(parent, name="example"):
    folder = Path(parent) / name
    folder.mkdir()
    for file in EXAMPLES.iterdir():
        shutil.copy2(file, folder)  # with its time, which run.json records
    return folder


@pytest.fixture
def example(tmp_path):
    """A run folder holding the example's configuration and data."""
    return example_folder(tmp_path)


def configuration(folder, *, data="record.dat", results="results.out", rate=16.0, start=0.0,
                  end=0.0, block=60, window=10):
    """A configuration: 28 lines of free text, then the fields in their
    columns (24 on), the channel flags 1 (columns 5 and 6)."""
    lines = [f"line {i} of free text" for i in range(1, 29)]

    def field(label, value):
        return f"{label:<23}{value}"

    lines += [
        field("Data file name:", data),
        "(line 30)",
        "(line 31)",
        field("Results file name:", results),
        field("Sample rate (Hz):", f"{rate:<8}"[:8]),
        field("Start time:", f"{start:<8}"[:8]),
        field("End time:", f"{end:<8}"[:8]),
        field("Block length (s):", f"{block:>8}"),
        field("Temperature column:", "1"),
        field("W column:", "1"),
        field("Window (s):", f"{window:>4}"),
    ]
    (Path(folder) / "ConfigDRAVEK.Dat").write_text("\r\n".join(lines) + "\r\n")


def write_data(path, time, u, v, w, temperature):
    """A data file of the arrays, every value with 17 significant digits,
    so that reading it gives the same doubles; w and temperature in both
    channels."""
    table = np.column_stack([time, u, v, w, w, temperature, temperature])
    np.savetxt(path, table, fmt="%.17g", header="time u v w1 w2 T1 T2", comments="")


def synthetic(samples, *, rate=16.0, seed=7, start=0.0):
    """Arrays that look like a record: eddies in w with temperature
    following a few samples later, a mean current, and times from start."""
    generator = np.random.default_rng(seed)
    time = start + np.arange(samples) / rate
    eddies = np.convolve(generator.normal(size=samples + 15), np.ones(16) / 4.0, mode="valid")
    w = eddies[:samples] + 0.3
    temperature = 4.2 + 0.01 * np.roll(eddies[:samples], 3) + 0.001 * generator.normal(size=samples)
    u = 12.0 + generator.normal(size=samples)
    v = -3.0 + generator.normal(size=samples)
    return time, u, v, w, temperature


def synthetic_folder(parent, arrays, name="synthetic", **settings):
    folder = Path(parent) / name
    folder.mkdir()
    write_data(folder / "record.dat", *arrays)
    configuration(folder, **settings)
    return folder


def folder_state(folder):
    """Every file of the folder with its bytes and modification time."""
    return {
        path.name: (path.read_bytes(), path.stat().st_mtime_ns)
        for path in sorted(Path(folder).iterdir())
        if path.is_file()
    }


def staged_files(folder):
    return [path.name for path in Path(folder).iterdir() if path.name.endswith(".ecflux-partial")]
