#include "report/real_fft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace ecflux::report {
namespace {

std::vector<double> transform(std::vector<double> x) {
  int m = 0;
  while ((1u << m) < x.size()) ++m;
  real_fft(x, static_cast<int>(x.size()), m);
  return x;
}

void expect_near(const std::vector<double>& actual, const std::vector<double>& expected,
                 double tolerance) {
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < actual.size(); ++i) {
    EXPECT_NEAR(actual[i], expected[i], tolerance) << "element " << i;
  }
}

TEST(RealFft, SmallestTransforms) {
  EXPECT_EQ(transform({3.0, 5.0}), (std::vector<double>{8.0, -2.0}));
  EXPECT_EQ(transform({1, 0, 0, 0}), (std::vector<double>{1, 1, 1, 0}));
  EXPECT_EQ(transform({0, 1, 0, 0}), (std::vector<double>{1, 0, -1, -1}));
}

TEST(RealFft, EightPointConstantCosineAndSine) {
  expect_near(transform(std::vector<double>(8, 2.5)), {20, 0, 0, 0, 0, 0, 0, 0}, 1e-13);
  std::vector<double> cosine, sine;
  for (int n = 0; n < 8; ++n) {
    cosine.push_back(std::cos(2 * M_PI * n / 8));
    sine.push_back(std::sin(2 * M_PI * n / 8));
  }
  expect_near(transform(cosine), {0, 4, 0, 0, 0, 0, 0, 0}, 1e-13);
  expect_near(transform(sine), {0, 0, 0, 0, 0, 0, 0, -4}, 1e-13);
}

// The packed result against a plain discrete Fourier transform.
TEST(RealFft, AgreesWithTheDirectTransform) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> value(-1.0, 1.0);
  for (int n = 2; n <= 1024; n *= 2) {
    const auto size = static_cast<std::size_t>(n);
    std::vector<double> x(size);
    for (double& v : x) v = value(random);
    std::vector<double> expected(size);
    for (int k = 0; k <= n / 2; ++k) {
      long double re = 0, im = 0;
      for (int j = 0; j < n; ++j) {
        const long double angle = 2.0L * M_PI * k * j / n;
        const double xj = x[static_cast<std::size_t>(j)];
        re += xj * std::cos(angle);
        im -= xj * std::sin(angle);
      }
      const auto at = static_cast<std::size_t>(k);
      expected[at] = static_cast<double>(re);
      if (k > 0 && k < n / 2) expected[size - at] = static_cast<double>(im);
    }
    expect_near(transform(x), expected, 1e-12 * n);
  }
}

}  // namespace
}  // namespace ecflux::report
