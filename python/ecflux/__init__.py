"""Heat fluxes from eddy-correlation records, in Python.

The functions of this package run the ecflux program's own computations
in this process, the same bits as the program, and give the results as
pandas DataFrames:

    run(folder, ...)       a run of a run folder, exactly as `ecflux folder`
    check(folder, ...)     what `ecflux --check folder` finds, as data
    process(time, u, ...)  the block computations on arrays in memory
    read_run(folder)       the results of a run made earlier

Units are those of the program's files: velocities in cm/s, temperatures
in kelvin (°C in the arrays given to process), heat fluxes in W/m², delays
and window lengths in seconds, times in the unit of the data's times. Each
frame names the unit of each column in `frame.attrs["units"]`.

The options of quality control are keyword arguments of run, check and
process, named as the program's options with "_" for "-":

    despike=True            replace spikes before the block statistics
    missing=-9999.0         NaN, Inf and these fill values are missing values
                            (a number or a list of numbers)
    missing_allowance=10.0  the percentage of a block that may be filled
    rotate="double"         tilt correction: "double" or "planar"
    uncertainty=True        the random error of each block's fluxes
    spectra=True            each block's spectra and ogive
    density=1025.0          kg/m³, of the heat flux
    heat_capacity=4008.0    J/(kg K), of the heat flux
    qc=True                 the usual set: despike, missing -9999, rotate
                            double, uncertainty and spectra

A mistake in them raises UsageError with the program's own text.

One computation runs at a time in a process (a run works in its folder as
the working directory): use processes, not threads, for many folders at
once. Ctrl-C stops a computation in the interpreter's main thread as it
stops the program: nothing is replaced, and KeyboardInterrupt is raised.
"""

from __future__ import annotations

import json
import operator
import os
import signal
import sys
import threading
import warnings as _warnings
from pathlib import Path

import numpy as np
import pandas as pd

from . import _ecflux

__version__ = _ecflux.__version__

__all__ = [
    "run",
    "check",
    "process",
    "read_run",
    "Run",
    "Check",
    "CheckedField",
    "RunWarning",
    "FieldWarning",
    "Error",
    "UsageError",
    "RefusedError",
    "ConfigurationError",
    "DataError",
    "OutputError",
    "ResourceError",
]


class Error(Exception):
    """A run, a check or a reading that did not complete.

    str(error) is the program's line (and the line of its hint, where it has
    one), as `ecflux` prints it on standard error.

    Attributes:
        lines: every line the program would have printed for it, such as
            "ecflux: the earlier results in FOLDER are unchanged".
        status: the exit status the program would have ended with.
        unit, path, severity: for a file that failed, its unit number, its
            absolute path and the number in "severe (N)"; otherwise None.
    """

    def __init__(self, message, *, lines=(), status=1, unit=None, path=None, severity=None):
        super().__init__(message)
        self.lines = list(lines)
        self.status = status
        self.unit = unit
        self.path = path
        self.severity = severity


class UsageError(Error, ValueError):
    """An option that the program does not take, or a value it refuses."""


class RefusedError(Error):
    """A run declined before it replaced anything: a configuration that gives
    no block, an output that would replace an input, another run writing in
    the folder, data that give no complete block, a warning under strict."""


class ConfigurationError(Error):
    """The configuration file ConfigDRAVEK.Dat is missing or cannot be read."""


class DataError(Error):
    """The data file is missing or cannot be read."""


class OutputError(Error):
    """An output file cannot be written, or, for read_run, read."""


class ResourceError(Error):
    """The system could not give what the computation needed: memory,
    threads."""


_ERRORS = {
    "usage": UsageError,
    "refused": RefusedError,
    "configuration": ConfigurationError,
    "data": DataError,
    "output": OutputError,
    "resource": ResourceError,
}


class RunWarning(UserWarning):
    """What a run assumes of its data and cannot check, as the program's
    "ecflux: warning:" lines tell it. The results are the same as without it.

    Attributes:
        kind: "configuration_text", "values_unread", "uneven_sampling",
            "implausible_value", "wide_time", "unreadable_value",
            "dropped_samples" or "plane_uncertain".
        file: the absolute path of the file it concerns ("" for arrays).
        line: the first line (for arrays: sample, from 1) where it happens;
            0 for none.
        count: how many times it happens, where the text counts them.
        text: the message, without "ecflux: warning: ".
    """

    def __init__(self, kind, file, line, count, text):
        super().__init__(text)
        self.kind = kind
        self.file = file
        self.line = line
        self.count = count
        self.text = text

    def __repr__(self):
        return f"RunWarning({self.kind!r}, line={self.line}, text={self.text!r})"


class FieldWarning(UserWarning):
    """Fields of a fixed-column file that read_run could not take as
    numbers: asterisks (a value too wide for its field when it was written)
    or no number at all. Their values are NaN.

    Attributes:
        file: the file's absolute path.
        column: the frame's column.
        label: the file's own name for the field (TIME, FREQ, ...).
        asterisks, not_numbers: how many fields of each.
    """

    def __init__(self, file, column, label, asterisks, not_numbers):
        what = []
        if asterisks:
            what.append(f"{asterisks} hold asterisks (values too wide for the field)")
        if not_numbers:
            what.append(f"{not_numbers} hold no number")
        super().__init__(
            f"{file}: fields of {label} (column {column}): {' and '.join(what)}; they are NaN"
        )
        self.file = file
        self.column = column
        self.label = label
        self.asterisks = asterisks
        self.not_numbers = not_numbers


class Run:
    """The results of a run, of a computation over arrays, or of a run read
    back with read_run.

    Attributes:
        blocks: one row per complete block, indexed by the block's number
            (from 1), with the columns of blocks.csv at full precision
            (time_mean, u_mean_cm_s, ..., flux_run_W_m2, quality_flag and
            the columns of the quality control asked for). Units in
            blocks.attrs["units"].
        window_fluxes: the window-flux table in long form, as
            window_fluxes.csv: block, time_mean, window_samples, window_s,
            frequency_Hz, flux_K_m_day, flux_W_m2; one row per block and
            running-mean window length.
        warnings: the run's warnings, RunWarning objects.
        files: the files the run wrote: their descriptions ("the results
            file") and absolute paths; empty for process.
        info: what run.json holds (for process: the same record, without
            the configuration, the data file and the outputs); None when
            read_run finds no run.json.
        folder: the run folder's absolute path; None for process.
    """

    def __init__(self, blocks, window_fluxes, warnings, files, info, folder):
        self.blocks = blocks
        self.window_fluxes = window_fluxes
        self.warnings = warnings
        self.files = files
        self.info = info
        self.folder = folder

    def __repr__(self):
        where = self.folder if self.folder is not None else "arrays"
        blocks = len(self.blocks.index)
        windows = len(self.window_fluxes.index) // blocks if blocks else 0
        return (
            f"<ecflux.Run of {where}: {blocks} blocks, {windows} window lengths, "
            f"{len(self.warnings)} warnings>"
        )


class CheckedField:
    """A field of the configuration as the check read it."""

    __slots__ = ("name", "line", "first_column", "last_column", "text", "value_taken")

    def __init__(self, name, line, first_column, last_column, text, value_taken):
        self.name = name
        self.line = line
        self.first_column = first_column
        self.last_column = last_column
        self.text = text
        self.value_taken = value_taken

    def __repr__(self):
        return (
            f"CheckedField({self.name!r}, line {self.line}, columns "
            f"{self.first_column}-{self.last_column}, {self.text!r} -> {self.value_taken!r})"
        )


class Check:
    """What `ecflux --check` finds in a run folder, writing nothing.

    Attributes:
        configuration_path: the configuration file's absolute path.
        fields: each field of the configuration with its line, its columns,
            the text found there and the value taken (CheckedField).
        configuration_findings: what the configuration's text shows that may
            not be what its writer meant (RunWarning objects).
        sample_rate: fs, samples a second.
        block_samples: N, samples per block.
        window_samples: W, samples of the running mean, after it is cut to N.
        window_before_cut: trunc(window seconds x fs), before the cut.
        window_lengths: the number of window lengths of the sweep.
        largest_delay: the largest delay searched, in samples.
        data_path: the data file's absolute path.
        lines_read, records_read, records_before_start: counts of the data.
        first_time, last_time: of the accepted records (None without one).
        median_step: the median time step (None with fewer than two samples).
        sample_interval: 1/fs in the time unit judged from the steps.
        time_unit: "seconds", "minutes", "hours" or "days".
        complete_blocks: the blocks a run would write.
        samples_left_over: the samples after the last complete block.
        input_end: where and why the input ends.
        warnings: every warning a run would give (RunWarning objects).
        leftovers: staged files of a run that did not complete.
        verdict: None when a run would complete; otherwise the line the
            program prints for why it would not.
    """

    def __init__(self, fields):
        for name, value in fields.items():
            setattr(self, name, value)

    @property
    def would_complete(self):
        """Whether a run with the same options would complete."""
        return self.verdict is None

    def __repr__(self):
        return (
            f"<ecflux.Check of {self.configuration_path}: {self.complete_blocks} complete blocks "
            f"of {self.block_samples} samples, {len(self.warnings)} warnings, "
            f"{'a run would complete' if self.verdict is None else self.verdict}>"
        )


def _options(options):
    """The keyword arguments as the program's command line: True a flag,
    False and None nothing, a list one option per value."""
    arguments = []
    for name, value in options.items():
        option = "--" + name.replace("_", "-")
        if value is None or value is False:
            continue
        if value is True:
            arguments.append(option)
            continue
        values = value if isinstance(value, (list, tuple, set, np.ndarray)) else [value]
        for each in values:
            if isinstance(each, (float, np.floating)):
                text = repr(float(each))
            else:
                text = str(each)
            arguments.append(f"{option}={text}")
    return arguments


def _exception(fields):
    """The exception of a failure that the library reports."""
    if fields["kind"] == "interrupted":
        number = fields["signal"]
        if number != signal.SIGINT:
            # SIGTERM and SIGHUP end the process as they end the program,
            # unless the interpreter has its own handler.
            os.kill(os.getpid(), number)
        return KeyboardInterrupt(fields["message"])
    error = _ERRORS.get(fields["kind"], Error)
    return error(
        fields["message"],
        lines=fields["lines"],
        status=fields["status"],
        unit=fields.get("unit"),
        path=fields.get("path"),
        severity=fields.get("severity"),
    )


def _warnings_of(found):
    return [RunWarning(*warning) for warning in found]


def _frame(table, index=None):
    frame = pd.DataFrame(dict(zip(table["names"], table["columns"])))
    frame.attrs["units"] = {
        name: unit for name, unit in zip(table["names"], table["units"]) if unit
    }
    if index is not None:
        frame = frame.set_index(index)
    return frame


def _in_main_thread():
    return threading.current_thread() is threading.main_thread()


class _Progress:
    """Shows the blocks done: a tqdm bar where tqdm is installed, a line on
    standard error otherwise, or the caller's own callable."""

    def __init__(self, progress, total):
        self._bar = None
        self._total = total
        self._shown = False
        if callable(progress):
            self.callback = progress
            return
        if not progress:
            self.callback = None
            return
        try:
            from tqdm.auto import tqdm

            try:
                self._bar = tqdm(total=total, unit="block", desc="ecflux")
            except Exception:  # a notebook without its widgets
                from tqdm.std import tqdm as plain_tqdm

                self._bar = plain_tqdm(total=total, unit="block", desc="ecflux")
        except ImportError:
            pass
        self.callback = self._advance

    def _advance(self, blocks):
        if self._bar is not None:
            self._bar.update(blocks - self._bar.n)
            return
        of = f" of about {self._total}" if self._total else ""
        sys.stderr.write(f"\recflux: {blocks} {'block' if blocks == 1 else 'blocks'}{of}")
        sys.stderr.flush()
        self._shown = True

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        if self._bar is not None:
            self._bar.close()
        elif self._shown:
            sys.stderr.write("\n")
        return False


def _show(raw):
    """The run's lines as the program would show them: each warning as a
    Python warning, and the other notes on standard error."""
    found = _warnings_of(raw["warnings"])
    for warning in found:
        _warnings.warn(warning, stacklevel=3)
    for note in raw["notes"]:
        print(note, file=sys.stderr)
    return found


def run(folder, *, csv=False, strict=False, progress=False, **options):
    """Runs the run folder exactly as `ecflux [options] folder` would.

    The configuration ConfigDRAVEK.Dat and the data file it names are read
    from `folder`; the results file, cumflux.out, CFSHIFT.out,
    Cospectra.out and run.json (with csv=True also blocks.csv and
    window_fluxes.csv) are written there and replace the earlier ones only
    when the run completes, under the folder's lock, as the program writes
    them, byte for byte. Nothing is printed on standard output; the
    warnings come as Python warnings (RunWarning) and in Run.warnings.

    Args:
        folder: the run folder (a str or a path).
        csv: also write blocks.csv and window_fluxes.csv (--csv).
        strict: any warning fails the run, replacing nothing (--strict).
        progress: True shows the blocks done (a tqdm bar where tqdm is
            installed, otherwise a line on standard error); a callable is
            called with the number of blocks done after each block.
        durable: wait until each output is on the disk before it replaces
            the earlier one (--durable).
        **options: the options of quality control (see the package's help).

    Returns:
        Run: the blocks and window fluxes at full precision, the warnings,
        the files written and run.json's record.

    Raises:
        UsageError: an option the program does not take.
        RefusedError, ConfigurationError, DataError, OutputError,
        ResourceError: the run did not complete; the folder holds what it
            held before. The message is the program's line.
        KeyboardInterrupt: Ctrl-C (SIGINT) stopped the run; nothing was
            replaced.
    """
    arguments = _options({"csv": csv, "strict": strict, **options})
    folder = os.fspath(folder)
    words = ["ecflux", *arguments, *(["--"] if folder.startswith("-") else []), folder]
    with _Progress(progress, None) as shown:
        try:
            raw = _ecflux.run_folder(folder, arguments, words, shown.callback, _in_main_thread())
        except _ecflux.Failure as failure:
            raise _exception(failure.args[0]) from None
    found = _show(raw)
    run_folder = Path(raw["folder"])
    with open(run_folder / "run.json", encoding="utf-8") as record:
        info = json.load(record)
    return _run_of(raw, found, info, run_folder)


def _files_of(info):
    """The outputs that run.json lists: description -> absolute path."""
    outputs = (info or {}).get("outputs") or []
    return {output["description"]: Path(output["path"]) for output in outputs}


def _note_time_unit(frames, info):
    """The unit of the times, as the run judged it from their steps."""
    time_unit = ((info or {}).get("data") or {}).get("time_unit")
    for frame in frames:
        if time_unit:
            frame.attrs["time_unit"] = time_unit


def _run_of(raw, found, info, folder):
    blocks = _frame(raw["blocks"], index="block")
    window_fluxes = _frame(raw["window_fluxes"])
    _note_time_unit((blocks, window_fluxes), info)
    return Run(blocks, window_fluxes, found, _files_of(info), info, folder)


def check(folder, *, csv=False, strict=False, **options):
    """What `ecflux --check folder` finds, as data: the configuration as
    read, the derived sizes, what the data hold and every warning a run
    would give. Writes nothing; the folder's lock is taken shared, so a
    check never reads what a run is writing.

    Args:
        folder: the run folder.
        csv, strict, **options: as for run; they change what a run would
            refuse (the verdict) and which warnings count.

    Returns:
        Check. Its verdict is None when a run would complete, and otherwise
        the program's line saying why not.

    Raises:
        RefusedError: a run is writing in the folder, or the configuration
            gives no block.
        ConfigurationError, DataError: an input is missing or unreadable.
        KeyboardInterrupt: Ctrl-C stopped the check.
    """
    arguments = _options({"csv": csv, "strict": strict, **options})
    try:
        raw = _ecflux.check_folder(os.fspath(folder), arguments, _in_main_thread())
    except _ecflux.Failure as failure:
        raise _exception(failure.args[0]) from None
    raw["fields"] = [CheckedField(*field) for field in raw["fields"]]
    raw["configuration_findings"] = _warnings_of(raw["configuration_findings"])
    raw["warnings"] = _warnings_of(raw["warnings"])
    return Check(raw)


def _samples(name, values):
    """The values as one-dimensional contiguous float64, without a copy
    where they are that already."""
    array = np.ascontiguousarray(np.asarray(values, dtype=np.float64))
    if array.ndim != 1:
        raise ValueError(f"{name} must be one-dimensional, not of shape {array.shape}")
    return array


def _seconds(name, value):
    seconds = operator.index(value)
    if not -(2**31) <= seconds < 2**31:
        raise ValueError(f"{name} {seconds} does not fit 32 bits")
    return seconds


def process(
    time,
    u,
    v,
    w,
    temperature,
    *,
    sample_rate,
    block_seconds,
    window_seconds,
    start_time=None,
    end_time=None,
    progress=False,
    **options,
):
    """The block computations of a run, on samples held in memory.

    The samples are taken, converted and computed exactly as a run takes a
    data file holding the same values: velocities divided by 100.0 to give
    m/s, 273.1499938964844 added to give kelvin, blocks of
    N = trunc(sample_rate) x block_seconds samples, a running mean of
    W = trunc(window_seconds x sample_rate) samples, the delay search over
    0 to 2 s and the sweep over running-mean windows, so the results are
    the same to the bit as those of a run over a data file of these values
    written with 17 significant digits. No file is written.

    A value that is not a number (NaN, Inf) ends the input, as it does in a
    data file, with a warning that names the sample; with missing=... it is
    a missing value of its block instead.

    Args:
        time: the samples' times, in the unit that start_time and end_time
            are in (the data file's first column).
        u, v: the horizontal velocities, cm/s.
        w: the vertical velocity, cm/s.
        temperature: the temperature, °C.
            Each a sequence of numbers of one length: numpy float64 arrays
            are used as they are, without a copy; DataFrame columns and
            other numbers are converted.
        sample_rate: fs, samples a second.
        block_seconds: the block length, whole seconds.
        window_seconds: the running-mean window, whole seconds (cut to the
            block length).
        start_time: samples with an earlier time are skipped (None: none).
        end_time: the first sample with a later time ends the input (None:
            none).
        progress: as for run.
        **options: the options of quality control (see the package's help).

    Returns:
        Run, with no files and the record of the computation as info. The
        blocks' first_line and last_line count samples from 1, and the
        warnings name samples, where a run of a file names its lines.

    Raises:
        RefusedError: sizes that give no block, arrays of different
            lengths, or samples that fill no block.
        UsageError, ResourceError: as for run.
        KeyboardInterrupt: Ctrl-C stopped the computation.
    """
    arrays = [
        _samples(name, values)
        for name, values in (("time", time), ("u", u), ("v", v), ("w", w),
                             ("temperature", temperature))
    ]
    block_seconds = _seconds("block_seconds", block_seconds)
    window_seconds = _seconds("window_seconds", window_seconds)
    arguments = _options(options)
    try:
        block_samples, _ = _ecflux.block_sizes(float(sample_rate), block_seconds, window_seconds)
        with _Progress(progress, len(arrays[0]) // block_samples) as shown:
            raw = _ecflux.process(
                *arrays,
                float(sample_rate),
                block_seconds,
                window_seconds,
                0.0 if start_time is None else float(start_time),
                0.0 if end_time is None else float(end_time),
                arguments,
                shown.callback,
                _in_main_thread(),
            )
    except _ecflux.Failure as failure:
        raise _exception(failure.args[0]) from None
    found = _show(raw)
    return _run_of(raw, found, json.loads(raw["record"]), None)


def read_run(folder):
    """The results of a run made earlier in the folder, read from its files.

    The blocks and the window fluxes come from blocks.csv and
    window_fluxes.csv when the run wrote them (ecflux --csv), at full
    precision; otherwise from the results file and Cospectra.out, with the
    precision of their fixed columns, under the same column names. A fixed
    field written as asterisks (a value too wide for it) or holding no number
    is NaN, with a FieldWarning that names the column; a block's time too
    wide for Cospectra.out is taken from the results file, which holds it
    with the same decimals. Without the CSV files the window fluxes have no
    flux_W_m2 column, and window_samples and window_s come from the
    configuration's window sequence.

    The folder's lock is taken shared while the files are read: a run
    writing there refuses the reading (RefusedError).

    Returns:
        Run, with the warnings, files and info of run.json where the folder
        has one (info None otherwise). Each frame's attrs name its units,
        the file it was read from ("file") and, for the fixed-column files,
        the fields that were not numbers ("unread": column -> count).
    """
    try:
        raw = _ecflux.read_run(os.fspath(folder))
    except _ecflux.Failure as failure:
        raise _exception(failure.args[0]) from None
    run_folder = Path(raw["folder"])
    frames = {}
    for name, index in (("blocks", "block"), ("window_fluxes", None)):
        table = raw[name]
        frame = _frame(table, index=index)
        frame.attrs["file"] = table["path"]
        frame.attrs["unread"] = {}
        for column, label, asterisks, not_numbers in table["unread"]:
            frame.attrs["unread"][column] = asterisks + not_numbers
            _warnings.warn(
                FieldWarning(table["path"], column, label, asterisks, not_numbers), stacklevel=2
            )
        frames[name] = frame
    info = None
    try:
        with open(run_folder / "run.json", encoding="utf-8") as record:
            info = json.load(record)
    except (OSError, ValueError):
        pass
    found = _warnings_of(
        (warning["kind"], warning["file"], warning["line"], warning["count"], warning["text"])
        for warning in (info or {}).get("warnings", [])
    )
    _note_time_unit(frames.values(), info)
    return Run(frames["blocks"], frames["window_fluxes"], found, _files_of(info), info, run_folder)
