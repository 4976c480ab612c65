// ecflux._ecflux: the library of the program for Python. A run of a folder,
// its check, the block computations over arrays and the reading of a
// finished run, each computed here, by the program's own code, with the
// interpreter's lock released; the package around it (ecflux/__init__.py)
// turns what comes back into pandas frames, exceptions and warnings.

#include <fcntl.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <mutex>
#include <new>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "base/descriptor.h"
#include "base/file_paths.h"
#include "base/printable.h"
#include "base/result.h"
#include "base/stop_signals.h"
#include "base/warning.h"
#include "driver/array_run.h"
#include "driver/check.h"
#include "driver/messages.h"
#include "driver/provenance.h"
#include "driver/run.h"
#include "input/command_line.h"
#include "input/configuration.h"
#include "python/run_tables.h"
#include "report/csv_files.h"
#include "report/output_files.h"
#include "report/run_record.h"

namespace py = pybind11;

namespace ecflux::python {
namespace {

// Raised with a dict that says what failed; the package raises the exception
// of its kind from it.
PyObject* failure_type = nullptr;

// One computation at a time in a process: a run makes its folder the
// working directory, and the stop signals and the run's lines are the
// process's, not a thread's.
std::mutex one_at_a_time;

// The working directory of the caller, given back when the computation ends,
// however it ends.
class WorkingDirectoryKept {
 public:
  WorkingDirectoryKept() : descriptor_(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}
  ~WorkingDirectoryKept() {
    if (!descriptor_.open()) return;
    [[maybe_unused]] const int back = ::fchdir(descriptor_.get());
  }
  WorkingDirectoryKept(const WorkingDirectoryKept&) = delete;
  WorkingDirectoryKept& operator=(const WorkingDirectoryKept&) = delete;

 private:
  base::Descriptor descriptor_;
};

// What the computation runs under: the caller's working directory kept, the
// stop signals caught (only in the interpreter's main thread, whose signals
// they are) and one computation at a time; the interpreter's lock is
// released for all of it.
class Computing {
 public:
  explicit Computing(bool catch_signals) : lock_(one_at_a_time) {
    if (catch_signals) signals_.emplace();
  }

 private:
  py::gil_scoped_release released_;
  std::lock_guard<std::mutex> lock_;
  WorkingDirectoryKept directory_;
  std::optional<base::StopSignalScope> signals_;
};

// The kind of a failure, as the package names its exceptions.
std::string failure_kind(const base::Failure& failure) {
  if (const base::IoFailure* io = failure.io_failure()) {
    if (io->unit == input::configuration_unit) return "configuration";
    if (io->unit == input::data_unit) return "data";
    for (const report::OutputFileInfo& file : report::output_files) {
      if (file.unit == io->unit && file.unit != 0) return "output";
    }
    return "io";
  }
  if (failure.refusal() != nullptr) return "refused";
  if (failure.interruption() != nullptr) return "interrupted";
  return "resource";
}

// Raises the failure: its kind, the program's line (and the hint's line
// where there is one), every line the program would have printed, and the
// exit status it would have ended with.
[[noreturn]] void raise_failure(const base::Failure& failure, std::vector<std::string> lines,
                                int status) {
  // The lines as the program prints them, with the control characters of
  // names escaped.
  std::vector<std::string> own = {base::printable(base::fatal_message(failure))};
  if (!failure.hint.empty()) {
    own.push_back(base::printable(driver::program_line(failure.hint)));
  }
  // An interruption's line is the run's last, which says how far it came.
  std::string message = failure.interruption() != nullptr && !lines.empty() ? lines.back() : own[0];
  if (own.size() > 1) message += "\n" + own[1];
  if (lines.empty()) lines = std::move(own);
  py::dict fields;
  fields["kind"] = failure_kind(failure);
  fields["message"] = message;
  fields["lines"] = std::move(lines);
  fields["status"] = status;
  if (const base::IoFailure* io = failure.io_failure()) {
    fields["unit"] = io->unit;
    fields["path"] = io->path;
    fields["severity"] = base::severity_number(io->condition);
  }
  if (const base::Interruption* interruption = failure.interruption()) {
    fields["signal"] = interruption->signal;
  }
  PyErr_SetObject(failure_type, fields.ptr());
  throw py::error_already_set();
}

// The options of a call as the program's command line has them, read by the
// program's own rules: a mistake raises with the program's text.
input::CommandLine parse_options(const std::vector<std::string>& arguments,
                                 input::ProgramOptions accepted) {
  std::vector<const char*> pointers;
  for (const std::string& argument : arguments) pointers.push_back(argument.c_str());
  auto line = input::parse_command_line(pointers, accepted);
  if (line.ok() && (line.value().help || line.value().version)) {
    line =
        base::Refusal{"unknown option " + std::string(line.value().help ? "--help" : "--version")};
  }
  if (!line.ok()) {
    py::dict fields;
    fields["kind"] = "usage";
    const std::string message = driver::program_line(line.failure().message());
    fields["message"] = message;
    fields["lines"] = std::vector<std::string>{message};
    fields["status"] = 2;
    PyErr_SetObject(failure_type, fields.ptr());
    throw py::error_already_set();
  }
  return std::move(line.value());
}

template <class T>
py::array_t<T> array_of(const std::vector<T>& values) {
  py::array_t<T> array(static_cast<py::ssize_t>(values.size()));
  std::copy(values.begin(), values.end(), array.mutable_data());
  return array;
}

// Columns of CSV cells: whole numbers (the block, counts of samples) as
// int64, every other value as float64.
class CellColumns {
 public:
  explicit CellColumns(std::vector<std::string> names)
      : names_(std::move(names)), numbers_(names_.size()), counts_(names_.size()) {}

  template <class Cells>
  void add_row(const Cells& cells) {
    for (std::size_t c = 0; c < names_.size(); ++c) {
      if (const std::int64_t* count = std::get_if<std::int64_t>(&cells[c])) {
        counts_[c].push_back(*count);
      } else {
        numbers_[c].push_back(std::get<double>(cells[c]));
      }
    }
  }

  void reserve(std::size_t rows) {
    for (std::size_t c = 0; c < names_.size(); ++c) {
      is_count_column(names_[c]) ? counts_[c].reserve(rows) : numbers_[c].reserve(rows);
    }
  }

  // {"names": [...], "columns": [...], "units": [...]}
  py::dict frame() const {
    py::list columns, units;
    for (std::size_t c = 0; c < names_.size(); ++c) {
      if (is_count_column(names_[c])) {
        columns.append(array_of(counts_[c]));
      } else {
        columns.append(array_of(numbers_[c]));
      }
      units.append(report::csv_column_unit(names_[c]));
    }
    py::dict frame;
    frame["names"] = names_;
    frame["columns"] = columns;
    frame["units"] = units;
    return frame;
  }

 private:
  std::vector<std::string> names_;
  std::vector<std::vector<double>> numbers_;
  std::vector<std::vector<std::int64_t>> counts_;
};

py::tuple warning_tuple(const base::Warning& warning) {
  return py::make_tuple(std::string(base::warning_kind_name(warning.kind)), warning.file,
                        warning.line, warning.count, warning.text);
}

// What a run or a computation over arrays gave, gathered by its listener
// without the interpreter's lock and handed over when it ends.
struct Gathered {
  std::vector<std::string> lines;
  std::vector<base::Warning> warnings;
  std::vector<driver::BlockResult> blocks;
  flux::WindowFluxTable table;
  std::vector<double> mean_times;
  input::BlockSizes sizes;
  std::optional<base::Failure> failure;
  // An exception of the caller's progress callback: it stops the run, and
  // is raised when the run has ended.
  std::optional<py::error_already_set> progress_error;
};

driver::RunListener listener_of(Gathered& gathered, const py::object& progress) {
  driver::RunListener listener;
  listener.progress_lines = false;
  listener.message = [&gathered](const std::string& line) { gathered.lines.push_back(line); };
  listener.warning = [&gathered](const base::Warning& warning) {
    gathered.warnings.push_back(warning);
  };
  listener.block = [&gathered, progress](const driver::BlockResult& block) {
    driver::BlockResult kept;
    kept.report = block.report;
    kept.facts = block.facts;
    kept.quality_flag = block.quality_flag;
    kept.spectrum = block.spectrum;
    gathered.blocks.push_back(std::move(kept));
    if (progress.is_none() || gathered.progress_error) return;
    py::gil_scoped_acquire held;
    try {
      progress(gathered.blocks.size());
    } catch (py::error_already_set& error) {
      gathered.progress_error = std::move(error);
      base::request_stop(SIGINT);
    }
  };
  listener.window_table = [&gathered](const flux::WindowFluxTable& table,
                                      std::span<const double> mean_times,
                                      const input::BlockSizes& sizes) {
    gathered.table = table;
    gathered.mean_times.assign(mean_times.begin(), mean_times.end());
    gathered.sizes = sizes;
  };
  listener.failure = [&gathered](const base::Failure& failure) { gathered.failure = failure; };
  return listener;
}

// The frames of what was gathered: the blocks as blocks.csv has them, with
// the groups of quality control asked for, and the window fluxes in long
// form as window_fluxes.csv has them.
py::dict results_of(const Gathered& gathered, const input::QualityOptions& quality) {
  const report::QualityColumns columns = driver::quality_columns(quality);
  CellColumns blocks(report::blocks_csv_names(columns));
  blocks.reserve(gathered.blocks.size());
  for (const driver::BlockResult& block : gathered.blocks) {
    blocks.add_row(report::block_row_cells(block.report, block.facts, columns));
  }
  CellColumns windows(report::window_fluxes_csv_names());
  const std::size_t count = gathered.table.window_count();
  windows.reserve(gathered.mean_times.size() * count);
  const stats::Medium medium{quality.density, quality.heat_capacity};
  for (std::size_t b = 0; b < gathered.mean_times.size(); ++b) {
    const auto fluxes = gathered.table.row(b);
    for (std::size_t k = 0; k < count; ++k) {
      windows.add_row(report::window_flux_cells(
          static_cast<std::int64_t>(b) + 1, gathered.mean_times[b], gathered.table.window_length[k],
          gathered.sizes.sample_rate, fluxes[k], medium));
    }
  }
  py::list warnings;
  std::set<std::string> warning_lines;
  for (const base::Warning& warning : gathered.warnings) {
    warnings.append(warning_tuple(warning));
    warning_lines.insert(base::printable(driver::warning_line(warning)));
  }
  // The lines that are not warnings: what the run did besides, such as the
  // removal of what a run that did not complete left behind.
  std::vector<std::string> notes;
  for (const std::string& line : gathered.lines) {
    if (!warning_lines.contains(line)) notes.push_back(line);
  }
  py::dict results;
  results["blocks"] = blocks.frame();
  results["window_fluxes"] = windows.frame();
  results["warnings"] = warnings;
  results["notes"] = notes;
  return results;
}

// Raises what stopped a computation: the caller's own exception from its
// progress callback, or the failure.
[[noreturn]] void raise_stop(Gathered& gathered, const base::Failure& failure, int status) {
  if (gathered.progress_error) {
    gathered.progress_error->restore();
    throw py::error_already_set();
  }
  raise_failure(failure, gathered.lines, status);
}

// ecflux [options] folder, in this process.
py::dict run_folder(const std::string& folder, const std::vector<std::string>& arguments,
                    const std::vector<std::string>& words, const py::object& progress,
                    bool catch_signals) {
  input::CommandLine line = parse_options(
      arguments, {.check = false, .csv = true, .durable = true, .strict = true, .quality = true});
  line.run_folder = folder;
  line.words = words;
  Gathered gathered;
  const driver::RunListener listener = listener_of(gathered, progress);
  int status = 0;
  std::string run_folder;
  {
    Computing computing(catch_signals);
    try {
      status = driver::run(line, &listener);
    } catch (const std::bad_alloc&) {
      gathered.failure = base::ResourceFailure{"out of memory"};
      status = 1;
    }
    if (status == 0) run_folder = base::working_folder();
  }
  if (status != 0) {
    raise_stop(gathered,
               gathered.failure ? *gathered.failure
                                : base::Failure(base::ResourceFailure{"the run failed"}),
               status);
  }
  py::dict results = results_of(gathered, line.quality);
  results["folder"] = run_folder;
  return results;
}

// The block computations over arrays in memory.
py::dict process(py::array_t<double, py::array::c_style> time,
                 py::array_t<double, py::array::c_style> u,
                 py::array_t<double, py::array::c_style> v,
                 py::array_t<double, py::array::c_style> w,
                 py::array_t<double, py::array::c_style> temperature, double sample_rate,
                 std::int32_t block_seconds, std::int32_t window_seconds, double start_time,
                 double end_time, const std::vector<std::string>& arguments,
                 const py::object& progress, bool catch_signals) {
  const input::CommandLine line = parse_options(arguments, {.quality = true});
  const auto span_of = [](const py::array_t<double, py::array::c_style>& array) {
    return std::span<const double>(array.data(), static_cast<std::size_t>(array.size()));
  };
  driver::ArrayRequest request;
  request.time = span_of(time);
  request.u = span_of(u);
  request.v = span_of(v);
  request.w = span_of(w);
  request.temperature = span_of(temperature);
  request.sample_rate = sample_rate;
  request.block_seconds = block_seconds;
  request.window_seconds = window_seconds;
  request.start_time = start_time;
  request.end_time = end_time;
  request.quality = line.quality;

  Gathered gathered;
  const driver::RunListener listener = listener_of(gathered, progress);
  std::optional<base::Result<driver::ArraySummary>> summary;
  std::string record;
  {
    Computing computing(catch_signals);
    const std::string started = driver::now_utc();
    const auto start = std::chrono::steady_clock::now();
    try {
      summary.emplace(driver::process_arrays(request, listener));
    } catch (const std::bad_alloc&) {
      summary.emplace(base::ResourceFailure{"out of memory"});
    }
    if (summary->ok()) {
      std::vector<int> flags;
      for (const driver::BlockResult& block : gathered.blocks) flags.push_back(block.quality_flag);
      report::RunRecord made =
          driver::array_run_record(request, summary->value(), std::move(flags), gathered.warnings);
      made.started_utc = started;
      made.finished_utc = driver::now_utc();
      made.wall_seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      record = report::run_record_json(made);
    }
  }
  if (!summary->ok()) {
    const base::Failure& failure = summary->failure();
    const base::Interruption* interruption = failure.interruption();
    if (interruption != nullptr) {
      gathered.lines.push_back(driver::program_line(
          "interrupted after " +
          input::with_thousands(static_cast<std::int64_t>(gathered.blocks.size())) +
          (gathered.blocks.size() == 1 ? " block" : " blocks")));
    }
    raise_stop(gathered, failure, interruption != nullptr ? 128 + interruption->signal : 1);
  }
  py::dict results = results_of(gathered, line.quality);
  results["record"] = record;
  return results;
}

py::dict check_folder(const std::string& folder, const std::vector<std::string>& arguments,
                      bool catch_signals) {
  input::CommandLine line = parse_options(
      arguments, {.check = false, .csv = true, .durable = true, .strict = true, .quality = true});
  std::optional<base::Result<driver::CheckReport>> checked;
  {
    Computing computing(catch_signals);
    if (auto entered = input::enter_run_folder(folder); !entered.ok()) {
      checked.emplace(std::move(entered.failure()));
    } else {
      try {
        checked.emplace(driver::check_folder(line));
      } catch (const std::bad_alloc&) {
        checked.emplace(base::ResourceFailure{"out of memory"});
      }
    }
  }
  if (!checked->ok()) {
    const base::Failure& failure = checked->failure();
    raise_failure(failure, {}, failure.interruption() ? 128 + failure.interruption()->signal : 1);
  }
  const driver::CheckReport& report = checked->value();
  py::list fields;
  for (const driver::CheckedField& field : report.fields) {
    fields.append(py::make_tuple(field.name, field.line, field.first_column, field.last_column,
                                 field.text, field.value_taken));
  }
  const auto warnings_of = [](const std::vector<base::Warning>& found) {
    py::list list;
    for (const base::Warning& warning : found) list.append(warning_tuple(warning));
    return list;
  };
  const auto optional_number = [](const std::optional<double>& value) -> py::object {
    return value ? py::object(py::float_(*value)) : py::none();
  };
  py::dict result;
  result["configuration_path"] = report.configuration_path;
  result["fields"] = fields;
  result["configuration_findings"] = warnings_of(report.configuration_findings);
  result["sample_rate"] = report.sizes.sample_rate;
  result["block_samples"] = report.sizes.block_samples;
  result["window_samples"] = report.sizes.window_samples;
  result["window_before_cut"] = report.window_before_cut;
  result["window_lengths"] = report.window_lengths;
  result["largest_delay"] = report.largest_delay;
  result["data_path"] = report.data_path;
  result["lines_read"] = report.lines_read;
  result["records_read"] = report.records_read;
  result["records_before_start"] = report.records_before_start;
  result["first_time"] = optional_number(report.first_time);
  result["last_time"] = optional_number(report.last_time);
  result["median_step"] = optional_number(report.median_step);
  result["sample_interval"] = report.sample_interval;
  result["time_unit"] = report.time_unit;
  result["complete_blocks"] = report.complete_blocks;
  result["samples_left_over"] = report.samples_left_over;
  result["input_end"] = report.input_end;
  result["warnings"] = warnings_of(report.warnings);
  result["leftovers"] = report.leftovers;
  result["verdict"] =
      report.verdict ? py::object(py::str(base::fatal_message(*report.verdict))) : py::none();
  return result;
}

py::dict frame_of(const RunTable& table) {
  py::list names, columns, units, unread;
  for (const TableColumn& column : table.columns) {
    names.append(column.name);
    units.append(report::csv_column_unit(column.name));
    const bool whole = column.count && std::none_of(column.values.begin(), column.values.end(),
                                                    [](double value) { return std::isnan(value); });
    if (whole) {
      std::vector<std::int64_t> counts(column.values.begin(), column.values.end());
      columns.append(array_of(counts));
    } else {
      columns.append(array_of(column.values));
    }
    if (column.asterisks > 0 || column.not_numbers > 0) {
      unread.append(
          py::make_tuple(column.name, column.label, column.asterisks, column.not_numbers));
    }
  }
  py::dict frame;
  frame["path"] = table.path;
  frame["names"] = names;
  frame["columns"] = columns;
  frame["units"] = units;
  frame["unread"] = unread;
  return frame;
}

py::dict read_run(const std::string& folder) {
  std::optional<base::Result<RunTables>> tables;
  std::string run_folder;
  {
    Computing computing(false);
    if (auto entered = input::enter_run_folder(folder); !entered.ok()) {
      tables.emplace(std::move(entered.failure()));
    } else {
      run_folder = base::working_folder();
      try {
        tables.emplace(read_run_tables());
      } catch (const std::bad_alloc&) {
        tables.emplace(base::ResourceFailure{"out of memory"});
      }
    }
  }
  if (!tables->ok()) raise_failure(tables->failure(), {}, 1);
  py::dict result;
  result["folder"] = run_folder;
  result["csv"] = tables->value().csv;
  result["blocks"] = frame_of(tables->value().blocks);
  result["window_fluxes"] = frame_of(tables->value().window_fluxes);
  return result;
}

// N and W of a block length and running-mean window, as a run derives them.
py::tuple block_sizes(double sample_rate, std::int32_t block_seconds, std::int32_t window_seconds) {
  input::Configuration config;
  config.sample_rate = sample_rate;
  config.block_seconds = block_seconds;
  config.window_seconds = std::min(window_seconds, block_seconds);
  auto sizes = input::derive_block_sizes(config);
  if (!sizes.ok()) raise_failure(sizes.failure(), {}, 1);
  return py::make_tuple(sizes.value().block_samples, sizes.value().window_samples);
}

}  // namespace
}  // namespace ecflux::python

PYBIND11_MODULE(_ecflux, module) {
  using namespace ecflux::python;
  module.doc() = "The library of the ecflux program; use the package ecflux.";
  module.attr("__version__") = ECFLUX_VERSION;
  failure_type = PyErr_NewException("ecflux._ecflux.Failure", nullptr, nullptr);
  module.attr("Failure") = py::handle(failure_type);
  module.def("run_folder", &run_folder, py::arg("folder"), py::arg("arguments"), py::arg("words"),
             py::arg("progress"), py::arg("catch_signals"));
  module.def("process", &process, py::arg("time"), py::arg("u"), py::arg("v"), py::arg("w"),
             py::arg("temperature"), py::arg("sample_rate"), py::arg("block_seconds"),
             py::arg("window_seconds"), py::arg("start_time"), py::arg("end_time"),
             py::arg("arguments"), py::arg("progress"), py::arg("catch_signals"));
  module.def("check_folder", &check_folder, py::arg("folder"), py::arg("arguments"),
             py::arg("catch_signals"));
  module.def("read_run", &read_run, py::arg("folder"));
  module.def("block_sizes", &block_sizes, py::arg("sample_rate"), py::arg("block_seconds"),
             py::arg("window_seconds"));
}
