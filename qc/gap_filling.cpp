#include "qc/gap_filling.h"
#include "base/assert.h"

namespace ecflux::qc {

bool interpolate_marked(std::span<double> values, std::span<const std::uint8_t> marked) {
  ECFLUX_ASSERT(values.size() == marked.size(), "a mark for every value");
  const std::size_t n = values.size();
  std::size_t first_good = 0;
  while (first_good < n && marked[first_good] != 0) ++first_good;
  if (first_good == n) return n == 0;

  for (std::size_t i = 0; i < first_good; ++i) values[i] = values[first_good];
  std::size_t previous_good = first_good;
  for (std::size_t i = first_good + 1; i < n; ++i) {
    if (marked[i] != 0) continue;
    const std::size_t gap = i - previous_good;
    if (gap > 1) {
      const double start = values[previous_good];
      const double step = (values[i] - start) / static_cast<double>(gap);
      for (std::size_t k = 1; k < gap; ++k) {
        values[previous_good + k] = start + step * static_cast<double>(k);
      }
    }
    previous_good = i;
  }
  for (std::size_t i = previous_good + 1; i < n; ++i) values[i] = values[previous_good];
  return true;
}

}  // namespace ecflux::qc
