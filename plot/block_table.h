#pragma once

// The run's blocks as the results file or blocks.csv gives them: each
// block's record, for the table of the report page, and the values that the
// plots and the placement of the cumulative-flux rows take from it. A block
// holds many samples, so even a long run's table is small enough to hold.

#include <cstddef>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "plot/fields.h"
#include "textio/line_reader.h"

namespace ecflux::plot {

struct BlockColumn {
  std::string name;     // as the file's header has it
  std::string unit;     // empty for counts and numbers of lines
  std::string heading;  // the name without the unit it ends in, for a table's header
};

// A block's quality flag where the run's files give none.
inline constexpr int flag_not_known = -1;

// A block's quality flag in words: "good", "use with care", "do not use".
std::string flag_words(int flag);

// What the plots take from one block. The values after the time label are
// those of blocks.csv only, missing where its header lacks their columns.
struct BlockValues {
  Field time;                 // the mean sample time, in the data file's unit
  Field flux_linear;          // FLUX-L, W/m²
  Field flux_run;             // FLUX-R
  Field flux_run_min;         // RUNMIN
  Field flux_run_max;         // RUNMAX
  Field delay_run_min;        // SRMIN, seconds: -s/fs for a delay of s samples
  std::string time_label;     // the mean time as a label shows it; empty when it is no number
  Field flux_mean_removed;    // about the block mean
  Field flux_corrected;       // FLUX-L at the delay of covariance maximisation
  Field corrected_at_edge;    // 1 where that delay is the largest searched
  Field random_error;         // of FLUX-L, W/m², one standard deviation
  Field ogive_not_levelled;   // 1 where the ogive has not levelled off
  int flag = flag_not_known;  // 0 good, 1 use with care, 2 do not use
};

// The file's own names of the plotted values, for titles and notes; the
// names after flux_run_max are empty where the file has no such column.
struct PlottedNames {
  std::string time;
  std::string flux_linear;
  std::string flux_run;
  std::string flux_run_min;
  std::string flux_run_max;
  std::string flux_mean_removed;
  std::string flux_corrected;
  std::string random_error;
  std::string flag;
  std::string ogive_not_levelled;
};

struct BlockTable {
  std::string file_label;  // the file as notes name it
  bool csv = false;        // blocks.csv rather than the fixed-column results file
  std::vector<BlockColumn> columns;
  PlottedNames names;
  std::vector<BlockValues> blocks;
  std::vector<std::string> records;  // each block's record as written

  // The text of each column of a block's record, without the blanks around
  // it; empty for a column that the record does not reach. With
  // `column_limit`, of the first that many columns only.
  std::vector<std::string_view> cells(
      std::size_t block, std::size_t column_limit = std::numeric_limits<std::size_t>::max()) const;
};

// The rows of the results file after its header.
base::Result<BlockTable> read_results_table(textio::LineReader& results,
                                            const std::string& file_label);

// The rows of blocks.csv after its header; a header without a column that
// the plots need is refused.
base::Result<BlockTable> read_blocks_csv(textio::LineReader blocks_csv,
                                         const std::string& file_label);

}  // namespace ecflux::plot
