#pragma once

// The four measured variables of a block side by side: one value of a kind
// (a series, a count, a result) for each.

#include <span>

namespace ecflux::qc {

template <class T>
struct PerVariable {
  T u{}, v{}, w{}, temperature{};
};

// One block's series, indexed from 0, all of one length: velocities in one
// unit, temperature in its own.
using BlockSeries = PerVariable<std::span<double>>;

}  // namespace ecflux::qc
