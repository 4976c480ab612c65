#!/usr/bin/env python3
"""Runs ecflux on a stored record and compares every file of the run, byte for
byte, with the files stored for it.

usage: compare_outputs.py ECFLUX CASE_FOLDER [INPUT_FOLDER] [--store]

CASE_FOLDER/output holds what a run with --csv writes: its files, its standard
output and standard error, and run.json with the times and paths that differ
from run to run replaced by placeholders (the same is done to the fresh run's
before comparing). The run's inputs are INPUT_FOLDER's files, by default
CASE_FOLDER/input. A second run without --csv must write the same four
fixed-column files and the same standard output and error, and no CSV file.

Before run.json is compared, what it says of the data file is checked against
the file itself: its size, its modification time and its XXH3-64 hash,
computed here with Python's xxhash module or, without it, the xxhash library.

--store writes the fresh files into CASE_FOLDER/output instead of comparing:
for a change of the outputs that is intended (see tests/expected/README.md).
"""

import ctypes
import datetime
import difflib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

STANDARD_OUTPUT = "standard-output"
STANDARD_ERROR = "standard-error"
RUN_RECORD = "run.json"
FIXED_COLUMN_FILES = ["results.out", "cumflux.out", "CFSHIFT.out", "Cospectra.out"]
CSV_FILES = ["blocks.csv", "window_fluxes.csv"]

# Stand-ins for what differs between two runs of the same record.
FOLDER_MARK = "RUN_FOLDER"
PROGRAM_MARK = "ecflux"
TIME_MARK = "TIME"
SECONDS_MARK = "SECONDS"


def xxh3_64(data):
    try:
        import xxhash

        return xxhash.xxh3_64_hexdigest(data)
    except ImportError:
        library = ctypes.CDLL("libxxhash.so.0")
        library.XXH3_64bits.restype = ctypes.c_uint64
        library.XXH3_64bits.argtypes = [ctypes.c_char_p, ctypes.c_size_t]
        return "%016x" % library.XXH3_64bits(data, len(data))


def utc_millis(nanoseconds):
    seconds, rest = divmod(nanoseconds, 1_000_000_000)
    moment = datetime.datetime.fromtimestamp(seconds, datetime.timezone.utc)
    return moment.strftime("%Y-%m-%dT%H:%M:%S") + ".%03dZ" % (rest // 1_000_000)


def run(ecflux, folder, arguments):
    done = subprocess.run([ecflux] + arguments, cwd=folder, capture_output=True, timeout=120)
    if done.returncode != 0:
        sys.exit("ecflux %s in %s ended with %d:\n%s" % (" ".join(arguments), folder,
                                                          done.returncode,
                                                          done.stderr.decode(errors="replace")))
    return done.stdout, done.stderr


def check_record_facts(record, ecflux, folder):
    """What run.json says that this script can know without the program."""
    problems = []
    data = record["data"]
    status = os.stat(data["path"])
    with open(data["path"], "rb") as file:
        content = file.read()
    expected = {
        "command_line": [ecflux, "--csv"],
        "run_folder": folder,
        "data.size_bytes": status.st_size,
        "data.modified_utc": utc_millis(status.st_mtime_ns),
        "data.xxh3_64": xxh3_64(content),
        "data.bytes_hashed": len(content),
        "data.hash_of_whole_file": True,
    }
    for key, value in expected.items():
        found = record
        for part in key.split("."):
            found = found[part]
        if found != value:
            problems.append("run.json %s is %r, not %r" % (key, found, value))
    timing = record["timing"]
    if not timing["started_utc"] <= timing["finished_utc"] or timing["wall_seconds"] < 0:
        problems.append("run.json timing is not a span of time: %r" % timing)
    return problems


def masked(text, ecflux, folder):
    text = text.replace(json.dumps(ecflux), json.dumps(PROGRAM_MARK))
    text = text.replace(folder, FOLDER_MARK)
    text = re.sub(r'("(?:started_utc|finished_utc|modified_utc)": )"[^"]*"', r'\1"%s"' % TIME_MARK,
                  text)
    return re.sub(r'("wall_seconds": )[^,\n]+', r'\1"%s"' % SECONDS_MARK, text)


def fresh_files(ecflux, inputs, scratch, csv):
    """The files of one run in a folder of its own: name -> bytes."""
    folder = os.path.join(scratch, "csv" if csv else "plain")
    shutil.copytree(inputs, folder)
    given = set(os.listdir(folder))
    output, error = run(ecflux, folder, ["--csv"] if csv else [])
    files = {STANDARD_OUTPUT: output}
    files[STANDARD_ERROR] = error.decode().replace(folder, FOLDER_MARK).encode()
    for name in sorted(set(os.listdir(folder)) - given):
        with open(os.path.join(folder, name), "rb") as file:
            files[name] = file.read()
    problems = []
    if RUN_RECORD in files:
        text = files[RUN_RECORD].decode()
        problems = check_record_facts(json.loads(text), ecflux, folder)
        files[RUN_RECORD] = masked(text, ecflux, folder).encode()
    return files, problems


def difference(name, stored, fresh):
    if stored is None:
        return "%s: written by the run, but not stored" % name
    if fresh is None:
        return "%s: stored, but not written by the run" % name
    try:
        lines = list(difflib.unified_diff(stored.decode().splitlines(), fresh.decode().splitlines(),
                                          "stored " + name, "fresh " + name, lineterm="", n=1))
    except UnicodeDecodeError:
        lines = []
    shown = "\n".join(lines[:40]) or "(the bytes differ)"
    return "%s differs from the stored file:\n%s" % (name, shown)


def main():
    arguments = [a for a in sys.argv[1:] if a != "--store"]
    store = len(arguments) != len(sys.argv) - 1
    if len(arguments) not in (2, 3):
        sys.exit(__doc__)
    ecflux = os.path.abspath(arguments[0])
    case = os.path.abspath(arguments[1])
    inputs = arguments[2] if len(arguments) == 3 else os.path.join(case, "input")
    stored_folder = os.path.join(case, "output")

    with tempfile.TemporaryDirectory() as scratch:
        scratch = os.path.realpath(scratch)
        with_csv, problems = fresh_files(ecflux, inputs, scratch, True)
        without_csv, _ = fresh_files(ecflux, inputs, scratch, False)

    if store:
        shutil.rmtree(stored_folder, ignore_errors=True)
        os.makedirs(stored_folder)
        for name, content in with_csv.items():
            with open(os.path.join(stored_folder, name), "wb") as file:
                file.write(content)
        for problem in problems:
            print(problem)
        print("stored %d files in %s" % (len(with_csv), stored_folder))
        return 1 if problems else 0

    stored = {}
    for name in sorted(os.listdir(stored_folder)):
        with open(os.path.join(stored_folder, name), "rb") as file:
            stored[name] = file.read()
    for name in sorted(set(stored) | set(with_csv)):
        if stored.get(name) != with_csv.get(name):
            problems.append(difference(name, stored.get(name), with_csv.get(name)))
    for name in FIXED_COLUMN_FILES + [STANDARD_OUTPUT, STANDARD_ERROR]:
        if without_csv.get(name) != with_csv.get(name):
            problems.append("%s of a run without --csv differs from the run with it" % name)
    for name in CSV_FILES:
        if name in without_csv:
            problems.append("a run without --csv wrote %s" % name)

    for problem in problems:
        print(problem)
    if problems:
        print("\nTo store the fresh files after an intended change: %s --store" %
              " ".join(sys.argv[:1] + arguments))
        return 1
    print("%s: %d files as stored" % (os.path.basename(case), len(stored)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
