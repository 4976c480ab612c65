#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include "qc/detrend.h"
#include "qc/fourier.h"

namespace ecflux::qc {
namespace {

TEST(RealTransform, AgreesWithTheDefinition) {
  for (const std::size_t length :
       {std::size_t{1}, std::size_t{6}, std::size_t{7}, std::size_t{15}}) {
    SCOPED_TRACE(length);
    RealTransform transform(length);
    std::vector<double> x(length);
    for (std::size_t j = 0; j < length; ++j) {
      const auto at = static_cast<double>(j);
      x[j] = std::sin(1.7 * at + 0.3) + 0.1 * at;
    }
    std::copy(x.begin(), x.end(), transform.samples().begin());
    transform.forward();
    ASSERT_EQ(transform.spectrum().size(), length / 2 + 1);
    for (std::size_t k = 0; k <= length / 2; ++k) {
      std::complex<double> expected = 0.0;
      for (std::size_t j = 0; j < length; ++j) {
        const auto turns = static_cast<double>(j * k % length) / static_cast<double>(length);
        expected += x[j] * std::polar(1.0, -2.0 * std::numbers::pi * turns);
      }
      EXPECT_NEAR(std::abs(transform.spectrum()[k] - expected), 0.0, 1e-12) << k;
    }
    // Backward undoes forward, times the length.
    transform.backward();
    for (std::size_t j = 0; j < length; ++j) {
      EXPECT_NEAR(transform.samples()[j], x[j] * static_cast<double>(length), 1e-12);
    }
  }
}

TEST(RealTransform, FastLengths) {
  EXPECT_EQ(fast_transform_length(0), 1u);
  EXPECT_EQ(fast_transform_length(11), 12u);
  EXPECT_EQ(fast_transform_length(14400), 14400u);
  EXPECT_EQ(fast_transform_length(17600), 17640u);  // 17600 = 2^6 5^2 11
}

TEST(Detrend, LeavesWhatNoLineExplains) {
  // A line plus a wiggle orthogonal to every line over 0 ... 6: only the
  // wiggle remains.
  const std::vector<double> wiggle{1.0, -1.0, -1.0, 2.0, -1.0, -1.0, 1.0};
  std::vector<double> x(7), out(7);
  for (std::size_t i = 0; i < 7; ++i) x[i] = 3.0 - 0.5 * static_cast<double>(i) + wiggle[i];
  detrend_linear(x, out);
  for (std::size_t i = 0; i < 7; ++i) EXPECT_NEAR(out[i], wiggle[i], 1e-14);
  // In place, and a single sample.
  detrend_linear(x, x);
  EXPECT_EQ(x, out);
  std::vector<double> one{4.0};
  detrend_linear(one, one);
  EXPECT_EQ(one[0], 0.0);
}

}  // namespace
}  // namespace ecflux::qc
