#pragma once

// The spectra of the blocks, read for their plot from "cospectra.csv" (ecflux
// --spectra): for each block and logarithmic frequency bin, the mean
// cospectrum of w and temperature and the ogive. A long run's file holds
// a row per bin of every block, so it is read in one pass: the blocks drawn
// as lines are kept whole, and of all blocks only the range at each
// frequency.
//
// The cospectrum is drawn frequency-weighted and over the block's
// covariance, f Co(f) / cov: the share of the flux that each band of the
// spectrum carries, comparable from block to block whatever the flux. The
// covariance is the sum of the cospectrum over every frequency times the
// frequency step, fs / N, so it follows from the bins: each holds the mean
// density of its frequencies, and how many there are.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/result.h"
#include "plot/chart.h"
#include "plot/fields.h"
#include "plot/window_reading.h"
#include "textio/line_reader.h"

namespace ecflux::plot {

// One block drawn as lines.
struct BlockSpectrum {
  std::size_t block = 0;     // from 0
  std::string time;          // the block's time as its label shows it
  Pieces<Point> cospectrum;  // f Co(f) / cov against f
  Pieces<Point> ogive;       // against f
};

struct BlockSpectra {
  std::string file_label;  // the file as notes name it
  std::size_t block_count = 0;
  std::int64_t rows = 0;  // after the header
  std::vector<BlockSpectrum> shown;
  // The lowest and highest value of all blocks at each frequency.
  Pieces<BandPoint> cospectrum_range;
  Pieces<BandPoint> ogive_range;
  // The frequency's column, the cospectrum's and the ogive's.
  std::vector<SkippedColumn> skipped;
  // Blocks whose covariance is zero or no number: their cospectrum cannot
  // be taken over it, and is not drawn.
  std::int64_t without_covariance = 0;
};

// The rows of cospectra.csv for the blocks labelled by `block_times` (the
// time of each block of the run, empty where it has none); rows of a block
// beyond them are left out. `frequency_step`: fs / N of the run, in Hz. A
// header without a column that the plot needs is refused.
base::Result<BlockSpectra> read_spectra(textio::LineReader cospectra, std::string file_label,
                                        const std::vector<std::string>& block_times,
                                        double frequency_step,
                                        std::size_t line_limit = default_line_limit);

}  // namespace ecflux::plot
