#pragma once

// The steady-state test of a block's flux: whether the covariance of the
// mean-removed fluctuations holds over the whole block or comes from part of
// it.

#include <cstdint>

#include "input/block_reader.h"

namespace ecflux::stats {

// The covariance of w and temperature over the block about the block's means,
// C, against the mean M of the covariances of six consecutive parts of the
// block (part k holds samples k N / 6 to (k + 1) N / 6 - 1), each about its own
// means: |M - C| / |C| x 100, in percent. Every covariance divides its sum of
// products by its number of samples. Not a number for blocks of fewer than
// six samples; infinite where C is zero and M is not.
double steady_state_difference(const input::Block& block, std::int32_t block_samples);

}  // namespace ecflux::stats
