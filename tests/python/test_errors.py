"""Each way a run, a check or a computation can fail raises the exception
of its kind, with the program's own lines, and leaves the folder as it
was."""

import fcntl
import os
import subprocess
import sys
import textwrap

import numpy as np
import pytest

import ecflux
from conftest import OUTPUTS, example_folder, folder_state, run_program


def break_nothing(folder):
    """No change: the example as it is."""


def remove_configuration(folder):
    (folder / "ConfigDRAVEK.Dat").unlink()


def remove_data(folder):
    (folder / "example.dat").unlink()


def block_an_output(folder):
    (folder / "cumflux.out").mkdir()


def results_over_the_data(folder):
    configuration = folder / "ConfigDRAVEK.Dat"
    lines = configuration.read_text().splitlines(keepends=True)
    lines[31] = lines[31][:23] + "example.dat" + lines[31][34:]
    configuration.write_text("".join(lines))


def too_few_samples(folder):
    data = folder / "example.dat"
    data.write_text("".join(data.read_text().splitlines(keepends=True)[:400]))


@pytest.mark.parametrize("damage, error", [
    (remove_configuration, ecflux.ConfigurationError),
    (remove_data, ecflux.DataError),
    (block_an_output, ecflux.OutputError),
    (results_over_the_data, ecflux.RefusedError),
    (too_few_samples, ecflux.RefusedError),
])
def test_each_failure_raises_its_kind_with_the_programs_lines(tmp_path, damage, error):
    by_program = example_folder(tmp_path, "program")
    by_module = example_folder(tmp_path, "module")
    damage(by_program)
    damage(by_module)
    status, standard_error = run_program(by_program)
    before = folder_state(by_module)

    with pytest.raises(error) as raised:
        ecflux.run(by_module)

    lines = standard_error.replace(str(by_program), str(by_module)).splitlines()
    assert raised.value.lines == lines
    # The failure and its hint; the last line says what the folder still holds.
    assert str(raised.value) == "\n".join(lines[:-1])
    assert raised.value.status == status == 1
    assert isinstance(raised.value, ecflux.Error)
    assert folder_state(by_module) == before


def test_a_failed_file_names_its_unit_and_path(example):
    block_an_output(example)

    with pytest.raises(ecflux.OutputError) as raised:
        ecflux.run(example)

    assert (raised.value.unit, raised.value.path, raised.value.severity) == \
        (43, str(example / "cumflux.out"), 30)


def test_a_folder_that_does_not_exist_is_refused(tmp_path):
    with pytest.raises(ecflux.RefusedError, match="does not exist; nothing was read or written"):
        ecflux.run(tmp_path / "nowhere")
    with pytest.raises(ecflux.RefusedError, match="does not exist"):
        ecflux.check(tmp_path / "nowhere")
    with pytest.raises(ecflux.RefusedError, match="does not exist"):
        ecflux.read_run(tmp_path / "nowhere")


def test_a_folder_where_a_run_writes_is_refused(example):
    assert run_program(example)[0] == 0
    before = folder_state(example)
    lock = os.open(example, os.O_RDONLY | os.O_DIRECTORY)
    try:
        fcntl.flock(lock, fcntl.LOCK_EX)  # as a run writing there holds it
        with pytest.raises(ecflux.RefusedError,
                           match=f"another run is writing in {example}; nothing was written"):
            ecflux.run(example)
        with pytest.raises(ecflux.RefusedError, match=f"a run is writing in {example}"):
            ecflux.check(example)
        with pytest.raises(ecflux.RefusedError, match=f"a run is writing in {example}"):
            ecflux.read_run(example)
    finally:
        os.close(lock)
    assert folder_state(example) == before


@pytest.mark.parametrize("options, message", [
    ({"rotate": "triple"}, 'ecflux: --rotate takes double or planar, not "triple"'),
    ({"density": -1}, 'ecflux: --density takes a number above zero, not "-1"'),
    ({"missing": "many"}, 'ecflux: --missing takes a number, not "many"'),
    ({"missing_allowance": 120.0},
     'ecflux: --missing-allowance takes a percentage from 0 to 100, not "120.0"'),
    ({"despiking": True}, "ecflux: unknown option --despiking"),
    ({"check": True}, "ecflux: unknown option --check"),
    ({"help": True}, "ecflux: unknown option --help"),
])
def test_options_are_read_by_the_programs_rules(example, options, message):
    with pytest.raises(ecflux.UsageError) as raised:
        ecflux.run(example, **options)
    assert str(raised.value) == message
    assert raised.value.status == 2
    assert isinstance(raised.value, ValueError)
    assert not (example / "results.out").exists()


def test_options_of_files_are_not_options_of_arrays():
    samples = np.zeros(100)
    with pytest.raises(ecflux.UsageError, match="unknown option --csv"):
        ecflux.process(samples, samples, samples, samples, samples, sample_rate=10.0,
                       block_seconds=1, window_seconds=1, csv=True)


def test_sizes_that_give_no_block_are_refused_as_a_run_refuses_them():
    samples = np.arange(100.0)
    with pytest.raises(ecflux.RefusedError) as raised:
        ecflux.process(samples, samples, samples, samples, samples, sample_rate=0.0,
                       block_seconds=60, window_seconds=30)
    assert str(raised.value).startswith("ecflux: ")
    assert "sample" in str(raised.value)


def test_a_lack_of_memory_is_a_resource_error():
    # In a child whose address space is limited to what it holds already and
    # 48 MB more: a block of two million samples cannot be had.
    script = textwrap.dedent("""
        import resource
        import numpy as np
        import ecflux
        samples = np.arange(3_000_000, dtype=np.float64) / 2000
        with open("/proc/self/status") as status:
            size = next(int(line.split()[1]) for line in status if line.startswith("VmSize"))
        limit = (size + 48 * 1024) * 1024
        resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
        try:
            ecflux.process(samples, samples, samples, samples, samples, sample_rate=2000.0,
                           block_seconds=1000, window_seconds=1)
        except ecflux.ResourceError as error:
            print(error)
    """)
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                          timeout=120, check=False)
    assert (done.returncode, done.stdout) == (0, "ecflux: out of memory\n"), done.stderr
