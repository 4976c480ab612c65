#pragma once

// The three plots of a finished run. The per-sample and per-window files are
// read in one pass, a row at a time, keeping only what is drawn; the blocks
// come from a table of the run's blocks, which is small.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "plot/block_table.h"
#include "plot/chart.h"
#include "plot/csv_reader.h"
#include "plot/sample_clock.h"
#include "textio/line_reader.h"
#include "textio/result.h"

namespace ecflux::plot {

// FLUX-L and FLUX-R of every block against its mean time, with the band
// from RUNMIN to RUNMAX.
Chart block_flux_chart(const BlockTable& blocks);

// CUMFLUX of "cumflux.out" and of "CFSHIFT.out" against TIME, each thinned
// to a few thousand points; rows without a TIME are left out. Where the first
// or the last TIME of either file is written as asterisks (times of 1000 and
// more, or of -100 and less, from there on) and `clock` is given, both are
// drawn against the time since the first sample instead, which `clock` gives
// for every row, so that the plot covers the whole record.
textio::Result<Chart> cumulative_flux_chart(textio::LineReader& cumflux,
                                            textio::LineReader& cfshift,
                                            const SampleClock* clock = nullptr);

// How many blocks the window plot draws as lines, at most.
inline constexpr std::size_t default_line_limit = 10;

// The running-mean window of the run, marked on the window plot.
struct RunWindow {
  double frequency;  // Hz
  double seconds;
};

// The flux of each block against the frequency of the running-mean window
// from "Cospectra.out", on a logarithmic frequency axis. With more blocks
// than `line_limit` (at least 2), that many blocks spread evenly over the
// run are drawn as lines and the range of all blocks is shaded. The run's
// own window, when given, is marked. Lines are labelled with the blocks'
// times; where a time does not fit its field in "Cospectra.out" (from 10000
// on), the results file's TIME of the block is taken from `results_times`
// when that holds one for every block. `window_lengths`, when given, receives
// the number of rows after the first.
textio::Result<Chart> window_flux_chart(textio::LineReader& cospectra,
                                        std::optional<RunWindow> run_window,
                                        const std::vector<std::string>& results_times = {},
                                        std::size_t line_limit = default_line_limit,
                                        std::size_t* window_lengths = nullptr);

// The same chart from "window_fluxes.csv", one row per block and window
// length, for the blocks labelled by `block_times` (the time of each block
// of the run, empty where it has none). A header without a column that the
// plot needs is refused. `window_lengths`, when given, receives the number of
// window lengths: the frequencies of the file.
textio::Result<Chart> csv_window_flux_chart(textio::LineReader window_fluxes,
                                            const std::string& file_label,
                                            std::optional<RunWindow> run_window,
                                            const std::vector<std::string>& block_times,
                                            std::size_t line_limit = default_line_limit,
                                            std::size_t* window_lengths = nullptr);

}  // namespace ecflux::plot
