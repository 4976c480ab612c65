#!/usr/bin/env python3
"""Measures the Python package against the program on the day-long record
(24 h at 16 Hz, one-hour blocks, a 300 s running mean):

    bench/python_run.py BUILD RECORD_FOLDER [RUNS]

BUILD is a build folder with ecflux and the package (BUILD/python);
RECORD_FOLDER holds day16.dat and its ConfigDRAVEK.Dat (bench/run writes
them). Needs /usr/bin/time (Debian package time). Prints the medians of RUNS (5) runs of each: the program in a fresh
folder, ecflux.run in a fresh folder, and ecflux.process on the record's
values held in memory; then the peak memory of ecflux.process beyond the
arrays, measured in a child of its own. Nothing here checks times; the
figures are for reading.
"""

import json
import os
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

# ecflux.process in a child: the arrays loaded one by one from a .npz file
# (no parsing and its temporaries), then the resident size before and the
# peak after, of the child's own image (VmHWM: a child's getrusage peak
# includes the image of the parent it was forked from).
MEMORY_CHILD = """
import json, sys, warnings
import numpy as np
import ecflux
with np.load(sys.argv[1]) as stored:
    columns = [stored[name] for name in ("time", "u", "v", "w", "temperature")]
def status_kb(field):
    with open("/proc/self/status") as status:
        return next(int(line.split()[1]) for line in status if line.startswith(field))
before, peak_before = status_kb("VmRSS:"), status_kb("VmHWM:")
warnings.simplefilter("ignore")
ecflux.process(*columns, sample_rate=16.0, block_seconds=3600, window_seconds=300)
print(json.dumps({"arrays_kb": sum(c.nbytes for c in columns) / 1024, "before_kb": before,
                  "peak_before_kb": peak_before, "peak_kb": status_kb("VmHWM:")}))
"""


def fresh_folder(scratch, record, name):
    folder = scratch / name
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir()
    shutil.copy(record / "ConfigDRAVEK.Dat", folder)
    (folder / "day16.dat").symlink_to(record / "day16.dat")
    return folder


def median_seconds(times):
    return f"{statistics.median(times):.2f} s (runs: {', '.join(f'{t:.2f}' for t in times)})"


def main():
    build = Path(sys.argv[1]).resolve()
    record = Path(sys.argv[2]).resolve()
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    sys.path.insert(0, str(build / "python"))
    import numpy as np
    import pandas as pd
    import warnings

    import ecflux

    warnings.simplefilter("ignore", ecflux.RunWarning)
    scratch = record.parent / "python"
    scratch.mkdir(exist_ok=True)

    table = pd.read_csv(record / "day16.dat", sep=r"\s+", skiprows=1, header=None,
                        float_precision="round_trip")
    # The record's configuration takes w from column 4 and the temperature
    # from column 7.
    columns = [np.ascontiguousarray(table[c].to_numpy()) for c in (0, 1, 2, 3, 6)]
    del table
    arrays_file = scratch / "day16.npz"
    np.savez(arrays_file, **dict(zip(("time", "u", "v", "w", "temperature"), columns)))

    program, in_process, arrays = [], [], []
    for i in range(runs + 1):  # the first of each is the warm-up
        folder = fresh_folder(scratch, record, "program")
        start = time.perf_counter()
        subprocess.run([str(build / "ecflux"), str(folder)], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=True)
        program.append(time.perf_counter() - start)

        folder = fresh_folder(scratch, record, "module")
        start = time.perf_counter()
        ecflux.run(folder)
        in_process.append(time.perf_counter() - start)

        start = time.perf_counter()
        ecflux.process(*columns, sample_rate=16.0, block_seconds=3600, window_seconds=300)
        arrays.append(time.perf_counter() - start)
    program, in_process, arrays = program[1:], in_process[1:], arrays[1:]

    environment = dict(os.environ, PYTHONPATH=str(build / "python"))
    measured = json.loads(subprocess.run([sys.executable, "-c", MEMORY_CHILD, str(arrays_file)],
                                         env=environment, capture_output=True, text=True,
                                         check=True).stdout)
    # /usr/bin/time measures the program from a small process of its own.
    program_peak = []
    for _ in range(3):
        folder = fresh_folder(scratch, record, "program")
        subprocess.run(["/usr/bin/time", "-f", "%M", "-o", str(scratch / "peak"),
                        str(build / "ecflux"), str(folder)], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=True)
        program_peak.append(int((scratch / "peak").read_text().split()[-1]))

    overhead = statistics.median(in_process) / statistics.median(program) - 1
    beyond = (measured["peak_kb"] - measured["before_kb"]) / 1024
    print(f"   ecflux (the program)   {median_seconds(program)}")
    print(f"   ecflux.run             {median_seconds(in_process)}: {100 * overhead:+.1f} % "
          "against the program")
    print(f"   ecflux.process         {median_seconds(arrays)}")
    print(f"   arrays held            {measured['arrays_kb'] / 1024:.1f} MB")
    print(f"   ecflux.process memory  {beyond:.1f} MB beyond the arrays (peak resident size "
          f"{measured['peak_kb'] / 1024:.1f} MB, {measured['before_kb'] / 1024:.1f} MB "
          "before the call)")
    if measured["peak_before_kb"] > measured["before_kb"] + 1024:
        print(f"   (the child's peak before the call, {measured['peak_before_kb'] / 1024:.1f} MB, "
              "was above its resident size then: the figure above is a lower bound)")
    print(f"   the program's memory   {statistics.median(program_peak) / 1024:.1f} MB peak "
          "resident size")


if __name__ == "__main__":
    main()
