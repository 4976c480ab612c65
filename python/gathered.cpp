#include "python/gathered.h"

#include <csignal>
#include <set>
#include <span>
#include <utility>

#include "base/printable.h"
#include "base/stop_signals.h"
#include "driver/messages.h"
#include "python/computing.h"
#include "report/output_files.h"

namespace ecflux::python {
py::tuple warning_tuple(const base::Warning& warning) {
  return py::make_tuple(std::string(base::warning_kind_name(warning.kind)), warning.file,
                        warning.line, warning.count, warning.text);
}

py::dict CellColumns::frame() const {
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

[[noreturn]] void raise_stop(Gathered& gathered, const base::Failure& failure, int status) {
  if (gathered.progress_error) {
    gathered.progress_error->restore();
    throw py::error_already_set();
  }
  raise_failure(failure, gathered.lines, status);
}

}  // namespace ecflux::python
