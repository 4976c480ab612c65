#include "qc/median.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "tools/noise.h"

namespace ecflux::qc {
namespace {

double sorted_median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

TEST(Median, TheValueThatSortingGives) {
  tools::Noise noise(4);
  std::vector<double> spare;
  // Short and long series, odd and even, either side of the length where
  // the sampled bracket takes over.
  for (const std::size_t n : {1u, 2u, 5u, 4095u, 4096u, 4097u, 14400u, 14401u}) {
    std::vector<std::vector<double>> cases(5, std::vector<double>(n));
    for (std::size_t i = 0; i < n; ++i) {
      const auto at = static_cast<double>(i);
      cases[0][i] = noise.normal();
      cases[1][i] = at;                                            // sorted
      cases[2][i] = -at;                                           // reversed
      cases[3][i] = static_cast<double>(i % 3);                    // three values, many ties
      cases[4][i] = noise.uniform() < 0.3 ? 1e6 : noise.normal();  // a skewed crowd
    }
    for (std::size_t k = 0; k < cases.size(); ++k) {
      const double expected = sorted_median(cases[k]);
      EXPECT_EQ(median(cases[k], spare), expected) << "n " << n << " case " << k;
    }
  }
}

TEST(Median, ABracketThatMissesFallsBack) {
  // Every value that an evenly spread sample of the series would pick is
  // huge: the sample's bracket lies far above the true middle.
  constexpr std::size_t n = 16384;
  std::vector<double> values(n), spare;
  for (std::size_t i = 0; i < n; ++i) values[i] = i % 16 == 0 ? 1e9 + static_cast<double>(i) : 0.5;
  values[1] = 0.25;
  EXPECT_EQ(median(values, spare), sorted_median(values));
}

}  // namespace
}  // namespace ecflux::qc
