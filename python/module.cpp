// ecflux._ecflux: the library of the program for Python. A run of a folder,
// its check, the block computations over arrays and the reading of a
// finished run, each computed here, by the program's own code, with the
// interpreter's lock released; the package around it (ecflux/__init__.py)
// turns what comes back into pandas frames, exceptions and warnings.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <chrono>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

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
#include "python/computing.h"
#include "python/gathered.h"
#include "python/run_tables.h"
#include "report/csv_files.h"
#include "report/output_files.h"
#include "report/run_record.h"

namespace py = pybind11;

namespace ecflux::python {
namespace {

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
