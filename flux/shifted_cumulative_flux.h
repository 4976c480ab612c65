#pragma once

// The shifted cumulative-flux series: the running-mean fluctuations paired at
// the shift of the block's running-mean minimum, with their own run-wide
// running total.

#include <cstdint>

#include "input/block_reader.h"
#include "input/configuration.h"
#include "stats/cumulative_flux.h"

namespace ecflux::flux {

// The block's rows of the shifted series, appended to `rows`: for i = 0 ...
// N - s - 1, p = w_dev_run(i) * t_dev_run(i + s), the total becomes p / fs +
// total, and the row gives the velocity sample's time, the total, p and the
// two fluctuations. No row when s >= N.
void write_shifted_cumulative_flux(const input::Block& block, const input::BlockSizes& sizes,
                                   const stats::FluctuationSeries& series, std::int32_t shift,
                                   double& shift_cum_flux, stats::SeriesRows& rows);

}  // namespace ecflux::flux
