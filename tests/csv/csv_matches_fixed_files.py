#!/usr/bin/env python3
"""The CSV files of ecflux --csv, read back with Python's own csv module and
checked against the fixed-column files of the same run: every value equals
the fixed field wherever the field holds a number (to its printed decimals),
and is finite and in order where the field is asterisks.

    csv_matches_fixed_files.py ECFLUX MAKE_RECORD EXAMPLES_FOLDER
"""

import csv
import math
import os
import shutil
import subprocess
import sys
import tempfile

# The results file's fields: (column of blocks.csv, first column, width, decimals).
RESULTS_FIELDS = [
    ("time_mean", 0, 12, 4), ("u_mean_cm_s", 13, 7, 3), ("v_mean_cm_s", 21, 7, 3),
    ("w_mean_cm_s", 29, 7, 3), ("w_std_cm_s", 37, 7, 3), ("magnitude_cm_s", 45, 7, 3),
    ("magnitude_std_cm_s", 53, 7, 3), ("direction_deg", 61, 5, 1),
    ("temperature_mean_K", 67, 7, 3), ("temperature_std_K", 75, 7, 3),
    ("flux_linear_W_m2", 83, 8, 2), ("flux_run_W_m2", 92, 8, 2),
    ("flux_linear_min_W_m2", 101, 8, 2), ("flux_run_min_W_m2", 110, 8, 2),
    ("flux_linear_max_W_m2", 119, 8, 2), ("flux_run_max_W_m2", 128, 8, 2),
    ("delay_linear_min_s", 137, 8, 2), ("delay_run_min_s", 146, 5, 2),
    ("delay_linear_max_s", 152, 5, 2), ("delay_run_max_s", 158, 5, 2),
]

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def fixed(value, width, decimals):
    """The field as ecflux writes it: rounded to its decimals, right-justified,
    a lone 0 before the point left out where there is no room, asterisks when
    it does not fit."""
    text = "%.*f" % (decimals, value)
    if len(text) > width and text.startswith(("0.", "-0.")):
        text = text.replace("0.", ".", 1)
    return text.rjust(width) if len(text) <= width else "*" * width


def compare(what, field, value_text, width, decimals):
    if set(field) == {"*"}:
        check(value_text != "" and math.isfinite(float(value_text)),
              "%s: asterisks where the CSV value is %r" % (what, value_text))
        return
    check(value_text != "", "%s: %r in the file, no value in the CSV" % (what, field))
    if value_text != "":
        check(fixed(float(value_text), width, decimals) == field,
              "%s: %r in the file, %r in the CSV" % (what, field, value_text))


def lines_of(path):
    with open(path, newline="") as file:
        text = file.read()
    check(text.endswith("\r\n"), path + " does not end in CR LF")
    return text.split("\r\n")[:-1]


def check_run(folder, name):
    blocks = list(csv.DictReader(open(os.path.join(folder, "blocks.csv"), newline="")))
    windows = list(csv.DictReader(open(os.path.join(folder, "window_fluxes.csv"), newline="")))
    results = lines_of(os.path.join(folder, "results.out"))[1:]
    check(len(blocks) == len(results) and len(blocks) > 0,
          "%s: %d rows in blocks.csv, %d in the results file" % (name, len(blocks), len(results)))
    previous_time = -math.inf
    for b, (row, line) in enumerate(zip(blocks, results)):
        check(int(row["block"]) == b + 1, "%s: block %s in row %d" % (name, row["block"], b + 1))
        for column, begin, width, decimals in RESULTS_FIELDS:
            compare("%s block %d %s" % (name, b + 1, column), line[begin:begin + width],
                    row[column], width, decimals)
        time = float(row["time_mean"])
        check(time > previous_time, "%s: block times not in order at %d" % (name, b + 1))
        previous_time = time
        check(int(row["samples"]) > 0 and int(row["last_line"]) > int(row["first_line"]),
              "%s: block %d's lines" % (name, b + 1))

    table = lines_of(os.path.join(folder, "Cospectra.out"))
    header, rows = table[0], table[1:]
    check(len(windows) == len(blocks) * len(rows),
          "%s: %d rows in window_fluxes.csv for %d blocks and %d windows"
          % (name, len(windows), len(blocks), len(rows)))
    for i, row in enumerate(windows):
        b, k = int(row["block"]) - 1, i % len(rows)
        column = 10 + 9 * b
        what = "%s window %d of block %d" % (name, k + 1, b + 1)
        compare(what + " time", header[column:column + 9], row["time_mean"], 9, 4)
        compare(what + " frequency", rows[k][1:10], row["frequency_Hz"], 9, 6)
        compare(what + " flux", rows[k][column:column + 9], row["flux_K_m_day"], 9, 4)
        seconds = float(row["window_s"])
        check(abs(float(row["frequency_Hz"]) * seconds - 1) < 1e-12, what + ": frequency")


def run(command, folder):
    result = subprocess.run(command, cwd=folder, capture_output=True, text=True)
    if result.returncode != 0:
        failures.append("%s failed: %s" % (" ".join(command), result.stderr))
    return result


def main():
    ecflux, make_record, examples = sys.argv[1:4]
    with tempfile.TemporaryDirectory() as scratch:
        example = os.path.join(scratch, "example")
        os.mkdir(example)
        for name in ("ConfigDRAVEK.Dat", "example.dat"):
            shutil.copy(os.path.join(examples, name), example)
        run([ecflux, "--csv"], example)
        check_run(example, "example")

        # Times in seconds of the day: asterisks in every time field.
        wide = os.path.join(scratch, "wide")
        os.mkdir(wide)
        run([make_record, os.path.join(wide, "record.dat"), "--rate", "16", "--seconds", "3000",
             "--start", "86000", "--config", os.path.join(wide, "ConfigDRAVEK.Dat"), "--block",
             "300", "--window", "60"], wide)
        run([ecflux, "--csv"], wide)
        check_run(wide, "seconds of the day")
    for failure in failures[:20]:
        print("FAILED: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
