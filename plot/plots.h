#pragma once

// The three plots of a finished run, each made from its output files in one
// pass: the rows are read one at a time and only what is drawn is kept.

#include <optional>
#include <string>
#include <vector>

#include "plot/chart.h"
#include "textio/line_reader.h"
#include "textio/result.h"

namespace ecflux::plot {

// FLUX-L and FLUX-R of every block against TIME, with the band from RUNMIN
// to RUNMAX, from the results file. `file_label` names the file in the notes.
// `block_times`, when given, receives the TIME field of every row as written
// without blanks, or empty where it holds no number.
textio::Result<Chart> block_flux_chart(textio::LineReader& results, const std::string& file_label,
                                       std::vector<std::string>* block_times = nullptr);

// CUMFLUX of "cumflux.out" and of "CFSHIFT.out" against TIME, each thinned
// to a few thousand points.
textio::Result<Chart> cumulative_flux_chart(textio::LineReader& cumflux,
                                            textio::LineReader& cfshift);

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
// when that holds one for every block.
textio::Result<Chart> window_flux_chart(textio::LineReader& cospectra,
                                        std::optional<RunWindow> run_window,
                                        const std::vector<std::string>& results_times = {},
                                        std::size_t line_limit = 10);

}  // namespace ecflux::plot
