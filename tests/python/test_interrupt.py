"""Ctrl-C during a run or a computation: the run stops as the program does
on SIGINT, replaces nothing, and KeyboardInterrupt is raised; the
interpreter's own handling of the signals comes back."""

import os
import signal
import subprocess
import sys
import textwrap

import pytest

import ecflux
from conftest import folder_state, run_program, staged_files, synthetic, synthetic_folder

# Twenty minutes of times in seconds pass 1000, which cumflux.out cannot hold.
pytestmark = pytest.mark.filterwarnings("ignore::ecflux.RunWarning")


@pytest.fixture
def long_folder(tmp_path):
    """A folder of twenty blocks whose earlier run's results are there."""
    folder = synthetic_folder(tmp_path, synthetic(16 * 60 * 20))
    assert run_program(folder)[0] == 0
    return folder


def interrupt_at(block):
    """A progress callback that presses Ctrl-C after the block."""
    def progress(done):
        if done == block:
            os.kill(os.getpid(), signal.SIGINT)
    return progress


def test_interrupting_a_run_replaces_nothing(long_folder):
    before = folder_state(long_folder)

    with pytest.raises(KeyboardInterrupt, match=r"^ecflux: interrupted after 1 block; nothing was "
                                                r"replaced$"):
        ecflux.run(long_folder, csv=True, progress=interrupt_at(2))

    assert folder_state(long_folder) == before
    assert staged_files(long_folder) == []
    assert signal.getsignal(signal.SIGINT) is signal.default_int_handler
    assert len(ecflux.run(long_folder).blocks.index) == 20


def test_interrupting_a_computation_over_arrays():
    with pytest.raises(KeyboardInterrupt, match=r"^ecflux: interrupted after 3 blocks$"):
        ecflux.process(*synthetic(16 * 60 * 20), sample_rate=16.0, block_seconds=60,
                       window_seconds=10, progress=interrupt_at(3))

    assert signal.getsignal(signal.SIGINT) is signal.default_int_handler


# A child that runs the folder and reports each block on standard output, so
# that the parent can send its signal in the middle of the run.
CHILD = textwrap.dedent("""
    import sys, time
    import ecflux
    def progress(done):
        print(done, flush=True)
        time.sleep(0.2)
    try:
        ecflux.run(sys.argv[1], progress=progress)
    except KeyboardInterrupt as interrupted:
        print("KeyboardInterrupt:", interrupted, flush=True)
        sys.exit(0)
    print("completed", flush=True)
""")


@pytest.mark.parametrize("sent, status", [(signal.SIGINT, 0), (signal.SIGTERM, -signal.SIGTERM)])
def test_a_signal_from_outside(long_folder, sent, status):
    before = folder_state(long_folder)
    child = subprocess.Popen([sys.executable, "-c", CHILD, str(long_folder)],
                             stdout=subprocess.PIPE, text=True)
    assert child.stdout.readline() == "1\n"
    child.send_signal(sent)
    output = child.stdout.read()
    assert child.wait(timeout=60) == status
    if sent == signal.SIGINT:
        assert output.splitlines()[-1].startswith("KeyboardInterrupt: ecflux: interrupted after ")
    assert folder_state(long_folder) == before
    assert staged_files(long_folder) == []
