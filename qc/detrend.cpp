#include "qc/detrend.h"
#include "base/assert.h"

namespace ecflux::qc {

void detrend_linear(std::span<const double> in, std::span<double> out) {
  ECFLUX_ASSERT(in.size() == out.size(), "the series in and out are of one length");
  const std::size_t n = in.size();
  if (n == 0) return;
  const auto count = static_cast<double>(n);
  const double middle = (count - 1.0) / 2.0;
  double sum = 0.0;
  for (const double value : in) sum += value;
  const double mean = sum / count;
  double sum_products = 0.0, sum_squares = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const double offset = static_cast<double>(i) - middle;
    sum_products += offset * (in[i] - mean);
    sum_squares += offset * offset;
  }
  const double slope = n > 1 ? sum_products / sum_squares : 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    out[i] = in[i] - (mean + slope * (static_cast<double>(i) - middle));
  }
}

}  // namespace ecflux::qc
