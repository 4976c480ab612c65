#pragma once

// Rows of "CFSHIFT.out": the running-mean fluctuations paired at the shift of
// the block's running-mean minimum, with their own run-wide running total.

#include <cstdint>
#include <string_view>

#include "input/block_reader.h"
#include "stats/cumulative_flux.h"

namespace ecflux::flux {

inline constexpr std::string_view shifted_flux_file_name = "CFSHIFT.out";
inline constexpr int shifted_flux_unit = 889;

// The block's rows of "CFSHIFT.out", appended to `rows`: for i = 0 ... N - s
// - 1, p = w_dev_run(i) * t_dev_run(i + s), the total becomes p / fs + total,
// and the row gives the velocity sample's time, the total, p and the two
// fluctuations. No row when s >= N.
void write_shifted_cumulative_flux(const input::Block& block, std::int32_t block_samples,
                                   double sample_rate, const stats::FluctuationSeries& series,
                                   std::int32_t shift, double& shift_cum_flux,
                                   stats::SeriesRows& rows);

}  // namespace ecflux::flux
