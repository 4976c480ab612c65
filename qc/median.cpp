#include "qc/median.h"
#include "base/assert.h"

#include <algorithm>
#include <span>

namespace ecflux::qc {
namespace {

// A sample of this many values, spread evenly over the series, brackets the
// middle ranks between two of its order statistics this far either side of
// its own middle: 3 times the spread of the middle's rank in the sample.
// The values within the bracket, about a tenth of them, are all that needs
// ordering; the rare bracket that misses (a few in a thousand) falls back
// to ordering them all.
constexpr std::size_t sample_size = 1024;
constexpr std::size_t bracket_margin = 48;

// The mean of the values of ranks `low` and `high` (equal, or high = low + 1)
// of `values`, which it reorders.
double middle_of(std::span<double> values, std::size_t low, std::size_t high) {
  const auto at_high = values.begin() + static_cast<std::ptrdiff_t>(high);
  std::nth_element(values.begin(), at_high, values.end());
  if (low == high) return *at_high;
  return (*std::max_element(values.begin(), at_high) + *at_high) / 2.0;
}

}  // namespace

double median(std::vector<double>& values, std::vector<double>& spare) {
  const std::size_t n = values.size();
  ECFLUX_ASSERT(n > 0, "the median of at least one value");
  const std::size_t low_rank = (n - 1) / 2, high_rank = n / 2;
  if (n < 4 * sample_size) return middle_of(values, low_rank, high_rank);

  // The sample sits behind the room for the gathered values.
  spare.resize(std::max(spare.size(), n + sample_size));
  const std::span<double> sample(spare.data() + n, sample_size);
  for (std::size_t i = 0; i < sample_size; ++i) sample[i] = values[i * n / sample_size];
  const std::size_t centre = low_rank * sample_size / n;
  const std::size_t low_at = centre - bracket_margin, high_at = centre + bracket_margin;
  std::nth_element(sample.begin(), sample.begin() + static_cast<std::ptrdiff_t>(low_at),
                   sample.end());
  std::nth_element(sample.begin() + static_cast<std::ptrdiff_t>(low_at) + 1,
                   sample.begin() + static_cast<std::ptrdiff_t>(high_at), sample.end());
  const double low = sample[low_at], high = sample[high_at];

  // Every value is written, and kept by moving on only when within the
  // bracket: no branch that the data decide.
  std::size_t below = 0, within = 0;
  for (const double value : values) {
    below += static_cast<std::size_t>(value < low);
    spare[within] = value;
    within += static_cast<std::size_t>((value >= low) & (value <= high));
  }
  if (below > low_rank || below + within <= high_rank) {
    return middle_of(values, low_rank, high_rank);
  }
  return middle_of(std::span(spare.data(), within), low_rank - below, high_rank - below);
}

}  // namespace ecflux::qc
