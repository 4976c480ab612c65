#pragma once

// The median of many values, found without sorting them: the despiking
// takes several medians of every block in every pass.

#include <vector>

namespace ecflux::qc {

// The median of `values` (for an even count the mean of the two middle
// values), which it reorders; `spare` is working storage that keeps its
// room from call to call. Exact: the same value as sorting would give. The
// values are finite; there is at least one.
double median(std::vector<double>& values, std::vector<double>& spare);

}  // namespace ecflux::qc
