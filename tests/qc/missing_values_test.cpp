#include "qc/missing_values.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "tests/qc/synthetic_records.h"

namespace ecflux::qc {
namespace {

constexpr double fill = -9999.0;
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

// The gaps of a series bridged by hand: each missing sample from the good
// samples found by walking out from it, weighted by its distance to them.
std::vector<double> bridged_reference(const std::vector<double>& values,
                                      const std::vector<std::uint8_t>& missing) {
  const auto n = static_cast<long>(values.size());
  std::vector<double> out = values;
  for (long i = 0; i < n; ++i) {
    if (!missing[static_cast<std::size_t>(i)]) continue;
    long before = i, after = i;
    while (before >= 0 && missing[static_cast<std::size_t>(before)]) --before;
    while (after < n && missing[static_cast<std::size_t>(after)]) ++after;
    const double left = before >= 0 ? values[static_cast<std::size_t>(before)] : nan;
    const double right = after < n ? values[static_cast<std::size_t>(after)] : nan;
    double value;
    if (before < 0) {
      value = right;
    } else if (after >= n) {
      value = left;
    } else {
      value = (static_cast<double>(after - i) * left + static_cast<double>(i - before) * right) /
              static_cast<double>(after - before);
    }
    out[static_cast<std::size_t>(i)] = value;
  }
  return out;
}

// A record as the data file gives it (cm/s and degrees Celsius) with gaps
// written in: runs of -9999 and single NaNs, at the start, inside and at the
// end, and the same record converted the way the run converts it.
struct FileRecord {
  testing::Record file;  // file units
  std::vector<double> fill_values{fill};
};

FileRecord gappy_record(std::size_t n) {
  FileRecord r;
  r.file = testing::turbulent_record(n, 11);
  for (auto* velocity : {&r.file.u, &r.file.v, &r.file.w}) {
    for (double& value : *velocity) value *= 100.0;
  }
  for (double& value : r.file.temperature) value -= 273.15;
  for (std::size_t i = 0; i < 4; ++i) r.file.w[i] = fill;  // block start
  for (std::size_t i = 300; i < 317; ++i) r.file.temperature[i] = fill;
  for (std::size_t i = 500; i < 505; ++i) r.file.u[i] = fill;
  r.file.v[777] = nan;
  r.file.w[777] = nan;  // same sample
  r.file.temperature[901] = inf;
  r.file.u[902] = -inf;
  for (std::size_t i = n - 6; i < n; ++i) r.file.temperature[i] = fill;  // block end
  return r;
}

std::vector<std::uint8_t> marks_of(const std::vector<double>& file_values,
                                   std::span<const double> fills) {
  std::vector<std::uint8_t> marks(file_values.size());
  mark_missing(file_values, fills, marks);
  return marks;
}

TEST(MissingValues, WhatCountsAsMissing) {
  const std::vector<double> fills{-9999.0, 999.99};
  for (const double value : {-9999.0, 999.99, nan, inf, -inf}) {
    EXPECT_TRUE(is_missing(value, fills)) << value;
  }
  // Only the exact fill value: a near miss is a measurement.
  for (const double value : {-9999.0001, -9998.0, 999.98, 0.0, -0.0}) {
    EXPECT_FALSE(is_missing(value, fills)) << value;
  }
  EXPECT_FALSE(is_missing(-9999.0, {}));
  EXPECT_TRUE(is_missing(nan, {}));
}

TEST(MissingValues, GapsAreBridgedAsByHand) {
  constexpr std::size_t n = 1000;
  const FileRecord r = gappy_record(n);
  const auto mu = marks_of(r.file.u, r.fill_values), mv = marks_of(r.file.v, r.fill_values),
             mw = marks_of(r.file.w, r.fill_values),
             mt = marks_of(r.file.temperature, r.fill_values);

  // The run's units: m/s and kelvin; the gaps' values are whatever the
  // conversion made of them.
  testing::Record converted = r.file;
  for (auto* velocity : {&converted.u, &converted.v, &converted.w}) {
    for (double& value : *velocity) value /= 100.0;
  }
  for (double& value : converted.temperature) value += 273.15;
  const testing::Record before = converted;

  const MissingSummary summary = fill_missing(converted.series(), {mu, mv, mw, mt});
  EXPECT_FALSE(summary.beyond_allowance);
  EXPECT_EQ(summary.samples, 1000);
  EXPECT_EQ(summary.missing.u, 6);
  EXPECT_EQ(summary.missing.v, 1);
  EXPECT_EQ(summary.missing.w, 5);
  EXPECT_EQ(summary.missing.temperature, 24);
  // Sample 777 misses two values and counts once.
  EXPECT_EQ(summary.missing_samples, 4 + 17 + 5 + 1 + 1 + 1 + 6);

  const std::pair<const std::vector<double>*, const std::vector<std::uint8_t>*> checks[] = {
      {&before.u, &mu}, {&before.v, &mv}, {&before.w, &mw}, {&before.temperature, &mt}};
  const std::vector<double>* filled[] = {&converted.u, &converted.v, &converted.w,
                                         &converted.temperature};
  for (int k = 0; k < 4; ++k) {
    const std::vector<double> expected = bridged_reference(*checks[k].first, *checks[k].second);
    for (std::size_t i = 0; i < n; ++i) {
      if ((*checks[k].second)[i]) {
        EXPECT_NEAR((*filled[k])[i], expected[i], 1e-12 * std::fabs(expected[i]))
            << "variable " << k << " sample " << i;
      } else {
        EXPECT_EQ((*filled[k])[i], expected[i]) << "variable " << k << " sample " << i;
      }
    }
  }
  // A good value stays as measured although its sample misses another one.
  EXPECT_EQ(converted.u[777], before.u[777]);
  EXPECT_EQ(converted.w[0], converted.w[4]);
  EXPECT_EQ(converted.temperature[n - 1], converted.temperature[n - 7]);
}

TEST(MissingValues, TheAllowanceDecidesWhetherABlockIsFilled) {
  constexpr std::size_t n = 1000;
  for (const std::size_t missing : {std::size_t{100}, std::size_t{101}}) {
    testing::Record r = testing::turbulent_record(n, 5);
    std::vector<std::uint8_t> none(n, 0), some(n, 0);
    // Every tenth sample's w, then one more: exactly 10 %, then just over.
    for (std::size_t k = 0; k < missing; ++k) some[k < 100 ? 10 * k + 5 : 6] = 1;
    for (std::size_t i = 0; i < n; ++i) {
      if (some[i]) r.w[i] = nan;
    }
    const testing::Record before = r;
    const MissingSummary summary = fill_missing(r.series(), {none, none, some, none});
    EXPECT_EQ(summary.missing_samples, static_cast<std::int64_t>(missing));
    if (missing == 100) {
      EXPECT_FALSE(summary.beyond_allowance);
      for (const double value : r.w) EXPECT_TRUE(std::isfinite(value));
    } else {
      // Left exactly as it was, NaNs included, for the run to write as it is.
      EXPECT_TRUE(summary.beyond_allowance);
      EXPECT_EQ(std::memcmp(r.w.data(), before.w.data(), n * sizeof(double)), 0);
    }
  }
  // A smaller allowance refuses what the default takes; a variable without
  // any good value cannot be bridged under any allowance.
  testing::Record r = testing::turbulent_record(10, 5);
  std::vector<std::uint8_t> none(10, 0), one(10, 0), all(10, 1);
  one[3] = 1;
  EXPECT_FALSE(fill_missing(r.series(), {none, none, one, none}).beyond_allowance);
  EXPECT_TRUE(fill_missing(r.series(), {none, none, one, none}, 5.0).beyond_allowance);
  EXPECT_TRUE(fill_missing(r.series(), {none, none, none, all}, 100.0).beyond_allowance);
}

}  // namespace
}  // namespace ecflux::qc
