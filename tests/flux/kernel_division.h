#pragma once

// The division of the vector builds' sweep loops, over arrays: each file that
// defines one of these is compiled for its instruction set, as the loops are,
// and holds no library code that other files could share.

#include <cstddef>

namespace ecflux::flux {

// quotient[i] = a[i] / c[i] for i < count, from c's split reciprocal
// (high[i], low[i]). Every array is aligned to 64 bytes and count is a
// multiple of eight.
using KernelDivision = void (*)(const double* a, const double* c, const double* high,
                                const double* low, double* quotient, std::size_t count);

void divide_as_avx2_sweep(const double* a, const double* c, const double* high, const double* low,
                          double* quotient, std::size_t count);
void divide_as_avx512_sweep(const double* a, const double* c, const double* high, const double* low,
                            double* quotient, std::size_t count);

}  // namespace ecflux::flux
