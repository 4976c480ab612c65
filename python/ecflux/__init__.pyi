import os
from pathlib import Path
from typing import Any, Callable, Iterable, Literal, Sequence, Union

import numpy.typing as npt
import pandas as pd

__version__: str

_Folder = Union[str, os.PathLike[str]]
_Samples = Union[npt.ArrayLike, pd.Series]
# True: a progress bar or line; a callable: called with the blocks done.
_ProgressOption = Union[bool, Callable[[int], object]]
# A number, or a list of numbers for options that take several (missing).
_OptionValue = Union[bool, float, int, str, Iterable[float], None]

class Error(Exception):
    lines: list[str]
    status: int
    unit: int | None
    path: str | None
    severity: int | None
    def __init__(
        self,
        message: str,
        *,
        lines: Sequence[str] = ...,
        status: int = ...,
        unit: int | None = ...,
        path: str | None = ...,
        severity: int | None = ...,
    ) -> None: ...

class UsageError(Error, ValueError): ...
class RefusedError(Error): ...
class ConfigurationError(Error): ...
class DataError(Error): ...
class OutputError(Error): ...
class ResourceError(Error): ...

class RunWarning(UserWarning):
    kind: Literal[
        "configuration_text",
        "values_unread",
        "uneven_sampling",
        "implausible_value",
        "wide_time",
        "unreadable_value",
        "dropped_samples",
        "plane_uncertain",
    ]
    file: str
    line: int
    count: int
    text: str
    def __init__(self, kind: str, file: str, line: int, count: int, text: str) -> None: ...

class FieldWarning(UserWarning):
    file: str
    column: str
    label: str
    asterisks: int
    not_numbers: int
    def __init__(
        self, file: str, column: str, label: str, asterisks: int, not_numbers: int
    ) -> None: ...

class Run:
    # Indexed by the block's number; the columns of blocks.csv.
    blocks: pd.DataFrame
    # Long form: block, time_mean, window_samples, window_s, frequency_Hz,
    # flux_K_m_day, flux_W_m2.
    window_fluxes: pd.DataFrame
    warnings: list[RunWarning]
    # Description ("the results file") -> absolute path.
    files: dict[str, Path]
    # What run.json holds; None for read_run of a folder without one.
    info: dict[str, Any] | None
    folder: Path | None

class CheckedField:
    name: str
    line: int
    first_column: int
    last_column: int
    text: str
    value_taken: str

class Check:
    configuration_path: str
    fields: list[CheckedField]
    configuration_findings: list[RunWarning]
    sample_rate: float
    block_samples: int
    window_samples: int
    window_before_cut: float
    window_lengths: int
    largest_delay: int
    data_path: str
    lines_read: int
    records_read: int
    records_before_start: int
    first_time: float | None
    last_time: float | None
    median_step: float | None
    sample_interval: float
    time_unit: str
    complete_blocks: int
    samples_left_over: int
    input_end: str
    warnings: list[RunWarning]
    leftovers: list[str]
    verdict: str | None
    @property
    def would_complete(self) -> bool: ...

def run(
    folder: _Folder,
    *,
    csv: bool = ...,
    strict: bool = ...,
    progress: _ProgressOption = ...,
    durable: bool = ...,
    despike: bool = ...,
    missing: float | Iterable[float] | None = ...,
    missing_allowance: float = ...,
    rotate: Literal["double", "planar"] | None = ...,
    uncertainty: bool = ...,
    spectra: bool = ...,
    density: float = ...,
    heat_capacity: float = ...,
    qc: bool = ...,
) -> Run: ...
def check(
    folder: _Folder,
    *,
    csv: bool = ...,
    strict: bool = ...,
    durable: bool = ...,
    despike: bool = ...,
    missing: float | Iterable[float] | None = ...,
    missing_allowance: float = ...,
    rotate: Literal["double", "planar"] | None = ...,
    uncertainty: bool = ...,
    spectra: bool = ...,
    density: float = ...,
    heat_capacity: float = ...,
    qc: bool = ...,
) -> Check: ...
def process(
    time: _Samples,
    u: _Samples,
    v: _Samples,
    w: _Samples,
    temperature: _Samples,
    *,
    sample_rate: float,
    block_seconds: int,
    window_seconds: int,
    start_time: float | None = ...,
    end_time: float | None = ...,
    progress: _ProgressOption = ...,
    despike: bool = ...,
    missing: float | Iterable[float] | None = ...,
    missing_allowance: float = ...,
    rotate: Literal["double", "planar"] | None = ...,
    uncertainty: bool = ...,
    spectra: bool = ...,
    density: float = ...,
    heat_capacity: float = ...,
    qc: bool = ...,
) -> Run: ...
def read_run(folder: _Folder) -> Run: ...
