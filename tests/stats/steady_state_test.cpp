#include "stats/steady_state.h"

#include <gtest/gtest.h>

#include <cmath>

namespace ecflux::stats {
namespace {

input::Block block_of(int n, double (*w)(int), double (*temperature)(int)) {
  input::Block block = input::make_block(n);
  for (int i = 0; i < n; ++i) {
    block.w[static_cast<std::size_t>(i)] = w(i);
    block.temperature[static_cast<std::size_t>(i)] = temperature(i);
  }
  return block;
}

// The difference worked out by hand: long double sums of the same products.
long double reference(const input::Block& block, int n) {
  const auto covariance = [&](int begin, int end) {
    long double sw = 0, st = 0;
    for (int i = begin; i < end; ++i) {
      sw += block.w[static_cast<std::size_t>(i)];
      st += block.temperature[static_cast<std::size_t>(i)];
    }
    const long double mw = sw / (end - begin), mt = st / (end - begin);
    long double sum = 0;
    for (int i = begin; i < end; ++i) {
      sum += (block.w[static_cast<std::size_t>(i)] - mw) *
             (block.temperature[static_cast<std::size_t>(i)] - mt);
    }
    return sum / (end - begin);
  };
  long double parts = 0;
  for (int k = 0; k < 6; ++k) parts += covariance(k * n / 6, (k + 1) * n / 6);
  const long double whole = covariance(0, n);
  return std::fabs(parts / 6 - whole) / std::fabs(whole) * 100;
}

TEST(SteadyState, EddiesThroughTheBlockAreSteady) {
  // The same oscillation in every part: the parts hold the block's covariance.
  const auto w = [](int i) { return std::sin(i * 0.7); };
  const auto t = [](int i) { return 280.0 + 0.01 * std::sin(i * 0.7 + 0.3); };
  const input::Block block = block_of(6000, w, t);
  const double difference = steady_state_difference(block, 6000);
  EXPECT_LT(difference, 1.0);
  EXPECT_NEAR(difference, static_cast<double>(reference(block, 6000)), 1e-6);
}

TEST(SteadyState, ATrendThroughTheBlockIsNot) {
  // w and temperature both rise through the block: the block's covariance is
  // that of the trend, which no part sees.
  const auto w = [](int i) { return 0.001 * i + 0.1 * std::sin(i * 1.3); };
  const auto t = [](int i) { return 280.0 + 0.0001 * i + 0.01 * std::cos(i * 2.1); };
  const input::Block block = block_of(6001, w, t);
  const double difference = steady_state_difference(block, 6001);
  EXPECT_GT(difference, 30.0);
  EXPECT_NEAR(difference, static_cast<double>(reference(block, 6001)), 1e-6 * difference);
}

TEST(SteadyState, TooShortABlockHasNoValue) {
  const input::Block block = block_of(
      5, [](int i) { return 1.0 * i; }, [](int i) { return 2.0 * i; });
  EXPECT_TRUE(std::isnan(steady_state_difference(block, 5)));
}

}  // namespace
}  // namespace ecflux::stats
