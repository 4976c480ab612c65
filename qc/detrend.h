#pragma once

// Fluctuations of a series about its least-squares line against the sample
// index, which the random error and the spectra of a block start from.

#include <span>

namespace ecflux::qc {

// out[i] = in[i] - (mean + slope (i - (n - 1) / 2)), the line fitted by
// least squares; a single sample gives zero. The spans have one length and
// may be the same.
void detrend_linear(std::span<const double> in, std::span<double> out);

}  // namespace ecflux::qc
