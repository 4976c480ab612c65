#include "stats/running_mean.h"
#include "base/assert.h"

namespace ecflux::stats {

void running_mean(std::span<const double> x, std::int32_t window, std::span<double> mean) {
  const auto n = static_cast<std::int64_t>(x.size());
  const std::int64_t w = window;
  const std::int64_t h = w / 2;
  ECFLUX_ASSERT(w >= 1 && w <= n, "a window of 1 to N samples");
  ECFLUX_ASSERT(mean.size() >= x.size(), "room for every mean");
  // Positions are signed, as are the window edges and sample counts formed
  // from them; the samples are addressed through pointers at those positions.
  const double* const in = x.data();
  double* const out = mean.data();

  double sum = 0.0;
  for (std::int64_t k = 0; k <= h; ++k) sum += in[k];
  out[0] = sum / static_cast<double>(h + 1);

  // Growing: the window gains the sample at its leading edge.
  for (std::int64_t k = h + 1; k < w; ++k) {
    sum += in[k];
    out[k - h] = sum / static_cast<double>(k + 1);
  }
  // Steady: the leading sample enters, then the trailing one leaves.
  const double full = static_cast<double>(w);
  for (std::int64_t k = w; k < n; ++k) {
    sum = (sum + in[k]) - in[k - w];
    out[k - h] = sum / full;
  }
  // Shrinking: the end of the block is reached; only samples leave.
  for (std::int64_t m = 1; m <= h; ++m) {
    sum = sum - in[n - w + m - 1];
    out[n - h + m - 1] = sum / static_cast<double>(w - m);
  }
}

}  // namespace ecflux::stats
