#pragma once

// The flux of every block for every running-mean window, read for the window
// plot from "Cospectra.out" or "window_fluxes.csv", in W/m² as every other
// flux of the plots. The files hold a value
// per block and window, too many to keep for a long run, so they are read in
// one pass, a row at a time: the blocks drawn as lines are kept whole, and of
// all blocks only the range at each window's frequency.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/result.h"
#include "plot/chart.h"
#include "plot/fields.h"
#include "stats/cumulative_flux.h"
#include "textio/line_reader.h"

namespace ecflux::plot {

// How many blocks the window plot draws as lines at most. A run of more
// blocks has that many (at least 2) spread evenly over it, the first and the
// last included.
inline constexpr std::size_t default_line_limit = 10;

// One block drawn as a line: its flux against the window's frequency.
struct BlockFluxes {
  std::size_t block = 0;  // from 0
  std::string time;       // the block's time as its label shows it
  Pieces<Point> fluxes;
};

struct WindowFluxes {
  std::string file_label;  // the file as notes name it
  bool csv = false;        // window_fluxes.csv rather than the fixed-column table
  // Whether the fluxes were turned from K·m/day into W/m² with `medium`,
  // rather than read in W/m² from the file.
  bool converted = true;
  stats::Medium medium;
  std::size_t block_count = 0;
  std::int64_t rows = 0;  // after the header
  std::size_t window_lengths = 0;
  std::vector<BlockFluxes> shown;
  // The lowest and highest flux of all blocks at each frequency.
  Pieces<BandPoint> range;
  // The frequency's column, then the flux's, as the file names them.
  std::vector<SkippedColumn> skipped = {{"FREQ", {}}, {"flux", {}}};
  // Shown blocks whose time neither the table nor the results file holds.
  std::int64_t hidden_times = 0;
};

// "Cospectra.out": after the frequency field, one field per block, all
// blocks in every record; the blocks are those of the first record. Its
// fluxes of K·m/day are turned into W/m² with the run's `medium`. A block
// is labelled with its time there; where that does not fit its field (from
// 10000 on), with `block_times` (the results file's TIME of each block) when
// that holds one for every block. The range follows the table's rows.
base::Result<WindowFluxes> read_window_table(textio::LineReader& cospectra, std::string file_label,
                                             const std::vector<std::string>& block_times,
                                             const stats::Medium& medium = {},
                                             std::size_t line_limit = default_line_limit);

// "window_fluxes.csv": one row per block and window length, for the blocks
// labelled by `block_times` (the time of each block of the run, empty where
// it has none). The fluxes are those of its flux_W_m2 column, or, in a file
// of an earlier version without it, of flux_K_m_day turned into W/m² with
// `medium`. The range follows the frequencies upwards. A header without a
// column that the plot needs is refused.
base::Result<WindowFluxes> read_window_list(textio::LineReader window_fluxes,
                                            std::string file_label,
                                            const std::vector<std::string>& block_times,
                                            const stats::Medium& medium = {},
                                            std::size_t line_limit = default_line_limit);

}  // namespace ecflux::plot
