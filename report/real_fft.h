#pragma once

// In-place transform of a real sequence whose length is a power of two.

#include <cstdint>
#include <span>

namespace ecflux::report {

// Forward discrete Fourier transform without scaling of x[0 .. n-1], n = 2^m,
// m >= 1, packed in place: x[0] = Re F(0), x[k] = Re F(k) for k = 1 ... n/2
// (x[n/2] = Re F(n/2)), and x[n - k] = Im F(k) for k = 1 ... n/2 - 1.
// Radix-2 decimation in time; the twiddle angle advances by repeated addition
// and its sine and cosine are evaluated at every butterfly. The routine has no
// other effect: it opens no file.
void real_fft(std::span<double> x, std::int32_t n, std::int32_t m);

}  // namespace ecflux::report
