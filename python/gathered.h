#pragma once

// What a run or a computation over arrays gives, gathered while it runs and
// turned into the columns of the package's frames when it ends.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "base/result.h"
#include "base/warning.h"
#include "driver/block_pipeline.h"
#include "driver/run.h"
#include "input/command_line.h"
#include "python/run_tables.h"
#include "report/csv_files.h"

namespace ecflux::python {

namespace py = pybind11;

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
  py::dict frame() const;

 private:
  std::vector<std::string> names_;
  std::vector<std::vector<double>> numbers_;
  std::vector<std::vector<std::int64_t>> counts_;
};

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

// A warning as the package makes its object from: kind, file, line, count,
// text.
py::tuple warning_tuple(const base::Warning& warning);

driver::RunListener listener_of(Gathered& gathered, const py::object& progress);

// The frames of what was gathered: the blocks as blocks.csv has them, with
// the groups of quality control asked for, and the window fluxes in long
// form as window_fluxes.csv has them.
py::dict results_of(const Gathered& gathered, const input::QualityOptions& quality);

// Raises what stopped a computation: the caller's own exception from its
// progress callback, or the failure.
[[noreturn]] void raise_stop(Gathered& gathered, const base::Failure& failure, int status);

}  // namespace ecflux::python
