#include "qc/random_error.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/qc/synthetic_records.h"
#include "tools/noise.h"

namespace ecflux::qc {
namespace {

using testing::sample_rate;

RandomError error_of(const std::vector<double>& w, const std::vector<double>& temperature,
                     std::int64_t lags) {
  const auto n = static_cast<std::int64_t>(w.size());
  RealTransform transform(correlation_transform_length(n, lags));
  return random_error(w, temperature, lags, transform);
}

// Fluctuations about the least-squares line, fitted here with long doubles.
std::vector<long double> about_line(const std::vector<double>& x) {
  const auto n = static_cast<long double>(x.size());
  long double st = 0, sx = 0, stt = 0, stx = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    const auto t = static_cast<long double>(i);
    st += t;
    sx += x[i];
    stt += t * t;
    stx += t * x[i];
  }
  const long double slope = (n * stx - st * sx) / (n * stt - st * st);
  const long double intercept = (sx - slope * st) / n;
  std::vector<long double> out(x.size());
  for (std::size_t i = 0; i < x.size(); ++i) {
    out[i] = x[i] - (intercept + slope * static_cast<long double>(i));
  }
  return out;
}

// The method's sum taken lag by lag, every covariance summed directly.
long double direct_variance(const std::vector<double>& w_in, const std::vector<double>& t_in,
                            long m) {
  const std::vector<long double> w = about_line(w_in), t = about_line(t_in);
  const long n = static_cast<long>(w.size());
  const auto g = [&](const std::vector<long double>& x, const std::vector<long double>& y, long p) {
    long double sum = 0;
    for (long i = 0; i < n; ++i) {
      if (i + p >= 0 && i + p < n) {
        sum += x[static_cast<std::size_t>(i)] * y[static_cast<std::size_t>(i + p)];
      }
    }
    return sum / n;
  };
  long double sum = 0;
  for (long p = -m; p <= m; ++p) sum += g(w, w, p) * g(t, t, p) + g(w, t, p) * g(t, w, p);
  return sum / n;
}

TEST(RandomError, TheLagRange) {
  EXPECT_EQ(integration_lags(57600, 16.0), 3200);  // 200 s of an hour's block
  EXPECT_EQ(integration_lags(14400, 16.0), 1440);  // a tenth of a quarter hour
  EXPECT_EQ(integration_lags(14400, 16.0, 10.0), 160);
  EXPECT_EQ(integration_lags(6000, 10.0, 0.05), 0);
  EXPECT_GE(correlation_transform_length(14400, 3200), std::size_t{17600});
}

TEST(RandomError, MatchesTheLagByLagSum) {
  const testing::Record r = testing::turbulent_record(1500, 9, 0.25, 2.0);
  for (const long m : {0L, 1L, 37L, 749L}) {
    SCOPED_TRACE(m);
    const RandomError e = error_of(r.w, r.temperature, m);
    const long double expected = direct_variance(r.w, r.temperature, m);
    EXPECT_NEAR(e.variance, static_cast<double>(expected), 1e-9 * static_cast<double>(expected));
    EXPECT_EQ(e.standard_error, std::sqrt(e.variance));
    EXPECT_EQ(e.lags, m);
  }
}

TEST(RandomError, WhiteNoiseHasTheClosedForm) {
  // For independent white noise the sum keeps only lag 0 on average:
  // var(cov) = sw^2 sT^2 / n. The estimate scatters about it by the
  // variances' own sampling error (2 / sqrt(n) together) and by the noise of
  // the 4m products of lagged covariances (each ~ 1/n of lag 0's).
  constexpr std::size_t n = 14400;
  const double sw = 0.02, st = 0.005;
  const std::int64_t m = integration_lags(n, sample_rate);
  const double tolerance = 4.0 * std::sqrt(4.0 / n + 8.0 * static_cast<double>(m) / (n * n));
  for (const std::uint64_t seed : {1u, 2u, 3u}) {
    tools::Noise noise(seed);
    std::vector<double> w(n), t(n);
    for (std::size_t i = 0; i < n; ++i) {
      w[i] = sw * noise.normal();
      t[i] = 280.0 + st * noise.normal();
    }
    const RandomError e = error_of(w, t, m);
    EXPECT_NEAR(e.variance / (sw * sw * st * st / n), 1.0, tolerance) << "seed " << seed;
  }
}

TEST(RandomError, PredictsTheScatterOfCorrelatedBlocks) {
  // Many blocks of the same red-noise turbulence (eddies of 20 samples)
  // with w and temperature closely tied: the covariances of the blocks
  // scatter as the mean estimate says. Both terms of the sum count here
  // about equally. The 160 lags add about 2m / n = 5 % of noise.
  constexpr std::size_t n = 6000, blocks = 400;
  const std::int64_t m = integration_lags(n, sample_rate, 10.0);
  RealTransform transform(correlation_transform_length(n, m));
  tools::Noise noise(77);
  const double memory = 0.95, renewal = std::sqrt(1.0 - memory * memory);
  double sum_cov = 0.0, sum_cov2 = 0.0, sum_estimate = 0.0;
  for (std::size_t b = 0; b < blocks; ++b) {
    std::vector<double> w(n), t(n);
    double eddy = noise.normal();
    for (std::size_t i = 0; i < n; ++i) {
      eddy = memory * eddy + renewal * noise.normal();
      w[i] = 0.02 * eddy;
      t[i] = 0.004 * eddy + 0.001 * noise.normal();
    }
    std::vector<long double> wl = about_line(w), tl = about_line(t);
    long double cov = 0;
    for (std::size_t i = 0; i < n; ++i) cov += wl[i] * tl[i];
    const double c = static_cast<double>(cov / n);
    sum_cov += c;
    sum_cov2 += c * c;
    sum_estimate += random_error(w, t, m, transform).variance;
  }
  const double mean_cov = sum_cov / blocks;
  const double scatter = (sum_cov2 - blocks * mean_cov * mean_cov) / (blocks - 1);
  // The scatter of 400 blocks is known to about sqrt(2 / 400) = 7 %.
  EXPECT_NEAR(sum_estimate / blocks / scatter, 1.0, 0.2);
}

}  // namespace
}  // namespace ecflux::qc
