#include "stats/steady_state.h"

#include <cmath>
#include <limits>

namespace ecflux::stats {
namespace {

// The covariance of w and temperature over samples [begin, end), about their
// own means.
double covariance(const input::Block& block, std::size_t begin, std::size_t end) {
  const auto count = static_cast<double>(end - begin);
  double sum_w = 0.0, sum_temperature = 0.0;
  for (std::size_t i = begin; i < end; ++i) {
    sum_w += block.w[i];
    sum_temperature += block.temperature[i];
  }
  const double mean_w = sum_w / count;
  const double mean_temperature = sum_temperature / count;
  double sum = 0.0;
  for (std::size_t i = begin; i < end; ++i) {
    sum += (block.w[i] - mean_w) * (block.temperature[i] - mean_temperature);
  }
  return sum / count;
}

}  // namespace

double steady_state_difference(const input::Block& block, std::int32_t block_samples) {
  constexpr std::size_t parts = 6;
  const auto n = static_cast<std::size_t>(block_samples);
  if (n < parts) return std::numeric_limits<double>::quiet_NaN();
  double sum_of_parts = 0.0;
  for (std::size_t k = 0; k < parts; ++k) {
    sum_of_parts += covariance(block, k * n / parts, (k + 1) * n / parts);
  }
  const double mean_of_parts = sum_of_parts / static_cast<double>(parts);
  const double whole = covariance(block, 0, n);
  return std::fabs(mean_of_parts - whole) / std::fabs(whole) * 100.0;
}

}  // namespace ecflux::stats
