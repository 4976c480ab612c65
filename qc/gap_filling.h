#pragma once

// Bridging marked samples of a series: missing values and spikes alike are
// replaced by a straight line between the good samples around them.

#include <cstdint>
#include <span>

namespace ecflux::qc {

// Replaces every marked sample (marked[i] != 0) by linear interpolation in
// the sample index between the nearest unmarked samples before and after it;
// a run of marked samples at either end of the series takes the value of the
// nearest unmarked sample. Unmarked samples are not touched. Returns false,
// changing nothing, when every sample is marked. The two spans have one
// length.
bool interpolate_marked(std::span<double> values, std::span<const std::uint8_t> marked);

}  // namespace ecflux::qc
