#pragma once

// The sweep's division a / c by a sample count or the sampling rate, where
// c's reciprocal is known in two parts: y = RN(1/c) and the rest
// y' = RN(1/c - y). Then
//   q0 = RN(a*y + RN(a*y'))     within a tiny fraction of an ulp of a/c, so a
//                               faithful rounding of a/c;
//   r  = a - q0*c               exact, as q0 is faithful;
//   q1 = RN(q0 + r*y)           the correctly rounded a/c (Markstein).
// Both facts need the operands away from underflow and overflow; the sweeper
// checks each batch's values and has the loops divide with the division
// instruction otherwise. The result is the same double that the division
// instruction gives, at the cost of multiplies instead of a division.
//
// Everything here stays local to each file that includes it (the anonymous
// namespace): the vector builds of the sweep include it compiled for their
// instruction sets, and a shared copy could end up compiled for the wrong
// processor.

#include <cmath>

namespace ecflux::flux {
namespace {

struct SplitReciprocal {
  double high;  // RN(1 / c)
  double low;   // RN(1 / c - high)
};

inline SplitReciprocal split_reciprocal(double c) {
  const double high = 1.0 / c;
  return {high, std::fma(-high, c, 1.0) * high};
}

// a / c in every lane of a register R (see the sweep loops for its
// operations), from c and the two parts of its reciprocal.
template <class R>
typename R::Vector corrected_quotient(typename R::Vector a, typename R::Vector c,
                                      typename R::Vector high, typename R::Vector low) {
  const auto q = R::fused_multiply_add(a, high, R::mul(a, low));
  const auto r = R::fused_negative_multiply_add(q, c, a);
  return R::fused_multiply_add(r, high, q);
}

}  // namespace
}  // namespace ecflux::flux
