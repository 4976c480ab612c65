#pragma once

#include <cstdint>
#include <span>

namespace ecflux::stats {

// Centred running mean of x over a window of `window` samples (1 <= window <=
// x.size()): entry j is the mean of x over max(0, j + H - window + 1) ...
// min(N - 1, j + H), H = window / 2, so an even window reaches one sample
// further after j than before it, and the window is cut at both ends.
// One sliding sum: the first H + 1 samples, then a growing stage, a steady
// stage that adds the entering sample before it subtracts the leaving one,
// and a shrinking stage; each entry is the sum divided by its sample count.
// Fills mean[0 .. N - 1]; allocates nothing.
void running_mean(std::span<const double> x, std::int32_t window, std::span<double> mean);

}  // namespace ecflux::stats
