#include "stats/running_mean.h"

namespace ecflux::stats {

void running_mean(std::span<const double> x, std::int32_t window, std::span<double> mean) {
  const auto n = static_cast<std::int64_t>(x.size());
  const std::int64_t w = window;
  const std::int64_t h = w / 2;

  double sum = 0.0;
  for (std::int64_t k = 0; k <= h; ++k) sum += x[k];
  mean[0] = sum / static_cast<double>(h + 1);

  // Growing: the window gains the sample at its leading edge.
  for (std::int64_t k = h + 1; k < w; ++k) {
    sum += x[k];
    mean[k - h] = sum / static_cast<double>(k + 1);
  }
  // Steady: the leading sample enters, then the trailing one leaves.
  const double full = static_cast<double>(w);
  for (std::int64_t k = w; k < n; ++k) {
    sum = (sum + x[k]) - x[k - w];
    mean[k - h] = sum / full;
  }
  // Shrinking: the end of the block is reached; only samples leave.
  for (std::int64_t m = 1; m <= h; ++m) {
    sum = sum - x[n - w + m - 1];
    mean[n - h + m - 1] = sum / static_cast<double>(w - m);
  }
}

}  // namespace ecflux::stats
