#pragma once

// A finished run's tables read back in full, for ecflux.read_run: the blocks
// and the window fluxes, from blocks.csv and window_fluxes.csv when they hold
// the run's results, and otherwise from the results file and the window-flux
// table. A fixed field that holds no number (asterisks of a value too wide
// for it, or nothing readable) is a missing value of its own column, counted
// there, never a lost row.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"

namespace ecflux::python {

struct TableColumn {
  std::string name;              // as the CSV files name the value
  std::string label;             // as the file read names it (TIME, FREQ, or the CSV name)
  bool count = false;            // whole numbers: the block, a number of samples
  std::vector<double> values;    // NaN where the field holds no number
  std::int64_t asterisks = 0;    // fields too narrow for their value
  std::int64_t not_numbers = 0;  // fields without a number: blanks, text, records cut short
};

struct RunTable {
  std::string path;  // absolute
  std::vector<TableColumn> columns;

  // The column of that name, which the table has.
  const TableColumn& column(std::string_view name) const;
};

struct RunTables {
  bool csv = false;  // read from the CSV files
  RunTable blocks;
  RunTable window_fluxes;
};

// The names of the columns of the CSV files that hold whole numbers.
bool is_count_column(const std::string& name);

// Reads the tables of the run in the working directory, under the folder's
// shared lock: refused while a run writes there. The configuration gives the
// results file's name and the sizes of the window sequence.
base::Result<RunTables> read_run_tables();

}  // namespace ecflux::python
