"""The README's Python examples, run as they stand: the notebook example
on a folder the program processed, and the one of many folders at once."""

import os
import re
import subprocess
import sys

import pytest

from conftest import REPOSITORY, example_folder, run_program


def python_examples():
    """The python code blocks of the README's section on Python."""
    readme = (REPOSITORY / "README.md").read_text()
    section = readme[readme.index("\n## Python\n"):]
    section = section[:section.index("\n## ", 1)]
    return re.findall(r"```python\n(.*?)```", section, re.S)


def run_example(code, folder):
    done = subprocess.run([sys.executable, "-c", code], cwd=folder, capture_output=True,
                          text=True, timeout=300, check=False,
                          env=dict(os.environ, MPLBACKEND="Agg"))
    assert done.returncode == 0, done.stderr
    return done.stdout


def test_the_notebook_example(tmp_path):
    pytest.importorskip("matplotlib")
    earlier = example_folder(tmp_path, "mooring-7")
    assert run_program(earlier)[0] == 0
    code = python_examples()[0].replace("/data/mooring-7", str(earlier))

    output = run_example(code, tmp_path)

    assert (tmp_path / "flux.png").stat().st_size > 0
    assert "flux_run_W_m2" in output and "quality_flag" in output
    # Six hours of half-hour blocks, and the earlier run's three blocks.
    assert re.search(r"^12 ", output, re.M)
    assert "count      3.0" in output


def test_many_folders_at_once(tmp_path):
    runs = tmp_path / "runs"
    runs.mkdir()
    for name in ["a", "b", "c"]:
        example_folder(runs, name)
    (runs / "b" / "example.dat").unlink()

    output = run_example(python_examples()[1], tmp_path)

    lines = output.splitlines()
    assert lines[0].startswith("a: ") and lines[0].endswith(" W/m²")
    assert lines[1] == f"b: forrtl: severe (29): file not found, unit 8, file {runs}/b/example.dat"
    assert lines[2] == lines[0].replace("a: ", "c: ")
    assert (runs / "c" / "blocks.csv").exists()
