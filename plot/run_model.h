#pragma once

// The finished run as the plots and the report page see it, read from the
// run's files in one place, whichever files the run wrote (the fixed-column
// files, or blocks.csv and window_fluxes.csv of ecflux --csv; run.json of a
// run of this version; cospectra.csv of ecflux --spectra): the chart
// builders and the page never read a file.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "base/result.h"
#include "input/configuration.h"
#include "plot/block_table.h"
#include "plot/cumulative_reading.h"
#include "plot/run_record_reading.h"
#include "plot/sample_clock.h"
#include "plot/spectra_reading.h"
#include "plot/time_scale.h"
#include "plot/window_reading.h"
#include "stats/cumulative_flux.h"

namespace ecflux::plot {

// The run's running-mean window: its frequency as the window-flux table
// gives window frequencies, fs over the window's whole sample count.
struct RunWindow {
  double frequency;  // Hz
  double seconds;
};

struct RunModel {
  input::Configuration config;
  std::optional<input::BlockSizes> sizes;  // none when the configuration gives no block
  std::optional<RunWindow> window;
  // The files read, as the page names them: of the blocks, the two
  // cumulative-flux files, of the window fluxes.
  std::vector<std::string> files_read;
  // run.json of this run, where there is one; otherwise why not, as the
  // page says it.
  std::optional<RunRecordFacts> record;
  std::string record_absence;
  stats::Medium medium;  // of the run: run.json's, or the defaults
  TimeScale time_scale;  // of the time axes
  BlockTable blocks;     // each block's flag from blocks.csv, or from run.json
  // Where the rows of the cumulative-flux files lie in the record, from the
  // blocks' mean times and RUNMIN delays; none without the sizes.
  std::optional<SampleClock> clock;
  CumulativeSeries cumulative;  // cumflux.out
  CumulativeSeries shifted;     // CFSHIFT.out
  WindowFluxes windows;
  std::optional<BlockSpectra> spectra;  // cospectra.csv of this run, where there is one
};

// Whether blocks.csv and window_fluxes.csv in the working directory hold the
// results of the run whose results file is `results_name`: both are there,
// and neither is older than the results file (a later run without --csv
// leaves them older).
bool csv_files_hold_results(const std::string& results_name);

// Reads the files of the run that `config` describes, in the working
// directory. When the run's ecflux --csv wrote its two CSV files, the blocks
// and the window fluxes come from them, at full precision and never as
// asterisks; otherwise from the results file and the window-flux table.
// run.json and cospectra.csv are read where the run wrote them. Every file
// is opened before any is read: a missing one fails before the others are
// read. The window fluxes and spectra are kept whole for `line_limit`
// blocks. A run.json that holds no record of a run leaves the run without
// one, and says why.
base::Result<RunModel> read_run(const input::Configuration& config,
                                std::size_t line_limit = default_line_limit);

}  // namespace ecflux::plot
