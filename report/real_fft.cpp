#include "report/real_fft.h"
#include "base/assert.h"

#include <cmath>
#include <utility>

namespace ecflux::report {

void real_fft(std::span<double> x, std::int32_t n, std::int32_t m) {
  ECFLUX_ASSERT(m >= 1 && m <= 30 && n == (std::int32_t{1} << m), "a power of two from 2 to 2^30");
  ECFLUX_ASSERT(x.size() >= static_cast<std::size_t>(n), "room for the whole sequence");
  // The butterflies are stated with elements counted from 1.
  auto at = [&x](std::int64_t i) -> double& { return x[static_cast<std::size_t>(i - 1)]; };

  if (n >= 2) {
    std::int64_t j = 1;
    for (std::int64_t i = 1; i <= n - 1; ++i) {
      if (i < j) std::swap(at(i), at(j));
      std::int64_t k = n / 2;
      while (k < j) {
        j -= k;
        k /= 2;
      }
      j += k;
    }
  }

  for (std::int64_t i = 1; i <= n - 1; i += 2) {
    const double t = at(i);
    at(i) = t + at(i + 1);
    at(i + 1) = t - at(i + 1);
  }

  constexpr double two_pi = 6.283185307179586;
  std::int64_t half = 1;
  for (std::int32_t stage = 2; stage <= m; ++stage) {
    const std::int64_t quarter = half;
    half = 2 * quarter;
    const std::int64_t span = 2 * half;
    const double e = two_pi / static_cast<double>(span);
    for (std::int64_t i = 1; i <= n; i += span) {
      const double t = at(i);
      at(i) = t + at(i + half);
      at(i + half) = t - at(i + half);
      at(i + half + quarter) = -at(i + half + quarter);
      double a = e;
      for (std::int64_t j = 2; j <= quarter; ++j) {
        const std::int64_t i1 = i + j - 1;
        const std::int64_t i2 = i + half - j + 1;
        const std::int64_t i3 = i + half + j - 1;
        const std::int64_t i4 = i + span - j + 1;
        const double cc = std::cos(a);
        const double ss = std::sin(a);
        a = a + e;
        const double t1 = at(i3) * cc + at(i4) * ss;
        const double t2 = at(i3) * ss - at(i4) * cc;
        at(i4) = at(i2) - t2;
        at(i3) = -at(i2) - t2;
        at(i2) = at(i1) - t1;
        at(i1) = at(i1) + t1;
      }
    }
  }
}

}  // namespace ecflux::report
