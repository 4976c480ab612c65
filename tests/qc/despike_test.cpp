#include "qc/despike.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <set>
#include <vector>

#include "tests/qc/synthetic_records.h"
#include "tools/noise.h"

namespace ecflux::qc {
namespace {

using testing::covariance;

// Spikes as an acoustic sensor shows them: single samples and short bursts,
// several spreads off either side, at known places; the map gives each
// place's spike.
std::map<std::size_t, double> plant_spikes(std::vector<double>& series, double size,
                                           std::uint64_t seed, std::size_t count) {
  tools::Noise noise(seed);
  std::map<std::size_t, double> places;
  const std::size_t n = series.size();
  while (places.size() < count) {
    const auto at = static_cast<std::size_t>(noise.uniform() * static_cast<double>(n - 2));
    const std::size_t burst = noise.uniform() < 0.25 ? 2 : 1;
    const double sign = noise.uniform() < 0.5 ? -1.0 : 1.0;
    for (std::size_t k = 0; k < burst; ++k) {
      const double spike = sign * size * (1.0 + noise.uniform());
      series[at + k] += spike;
      places[at + k] += spike;
    }
  }
  return places;
}

std::set<std::size_t> changed(const std::vector<double>& before, const std::vector<double>& after) {
  std::set<std::size_t> places;
  for (std::size_t i = 0; i < before.size(); ++i) {
    if (before[i] != after[i]) places.insert(i);
  }
  return places;
}

TEST(Despike, PlantedSpikesAreFoundAndTheFluxRestored) {
  constexpr std::size_t n = 14400;
  const testing::Record clean = testing::turbulent_record(n, 3);
  testing::Record spiky = clean;
  // Spikes of w and temperature in the same samples and in step: the worst
  // for the flux.
  const auto w_spikes = plant_spikes(spiky.w, 0.25, 17, 60);
  std::set<std::size_t> w_places, u_places;
  for (const auto& [at, spike] : w_spikes) {
    spiky.temperature[at] += 0.2 * spike;
    w_places.insert(at);
  }
  for (const auto& [at, spike] : plant_spikes(spiky.u, 0.4, 19, 40)) u_places.insert(at);
  const testing::Record before = spiky;

  const double clean_flux = covariance(clean.w, clean.temperature);
  const double spiky_flux = covariance(spiky.w, spiky.temperature);
  ASSERT_GT(std::fabs(spiky_flux / clean_flux - 1.0), 0.3);  // the spikes matter

  const BlockDespike result = despike_block(spiky.series());
  EXPECT_EQ(result.samples, 14400);

  const struct {
    const char* name;
    const std::vector<double>& before;
    const std::vector<double>& after;
    const std::set<std::size_t>* planted;
    const SeriesDespike& counts;
  } series[] = {
      {"u", before.u, spiky.u, &u_places, result.series.u},
      {"v", before.v, spiky.v, nullptr, result.series.v},
      {"w", before.w, spiky.w, &w_places, result.series.w},
      {"temperature", before.temperature, spiky.temperature, &w_places, result.series.temperature}};
  for (const auto& s : series) {
    const std::set<std::size_t> replaced = changed(s.before, s.after);
    EXPECT_EQ(static_cast<std::int64_t>(replaced.size()), s.counts.spikes) << s.name;
    EXPECT_FALSE(s.counts.pass_limit_reached) << s.name;
    const std::set<std::size_t> planted = s.planted ? *s.planted : std::set<std::size_t>{};
    for (const std::size_t at : planted) {
      EXPECT_TRUE(replaced.contains(at)) << s.name << " spike at " << at << " missed";
    }
    // A spike's neighbours up to two samples away go with it (their
    // differences carry it); beyond them few good samples are taken, since
    // the threshold grows with the block so that turbulence rarely crosses
    // it.
    std::size_t away = 0;
    for (const std::size_t at : replaced) {
      const auto near = planted.lower_bound(at >= 2 ? at - 2 : 0);
      if (near == planted.end() || *near > at + 2) ++away;
    }
    EXPECT_LE(away, n / 1000) << s.name;
  }
  const double despiked_flux = covariance(spiky.w, spiky.temperature);
  EXPECT_NEAR(despiked_flux / clean_flux, 1.0, 0.01);
  EXPECT_TRUE(too_many_spikes(result));  // more than 1 % in w
}

TEST(Despike, CleanTurbulenceIsLeftAlmostAlone) {
  testing::Record r = testing::turbulent_record(14400, 8);
  const testing::Record before = r;
  const BlockDespike result = despike_block(r.series());
  EXPECT_LE(result.series.w.spikes, 10);
  EXPECT_LE(result.series.temperature.spikes, 10);
  EXPECT_FALSE(too_many_spikes(result));
  EXPECT_NEAR(covariance(r.w, r.temperature) / covariance(before.w, before.temperature), 1.0,
              0.002);
}

TEST(Despike, TheSuspectShareIsOnePercentOfWOrTemperature) {
  BlockDespike d;
  d.samples = 14400;
  d.series.u.spikes = d.series.v.spikes = 5000;  // the horizontal velocities do not count
  d.series.w.spikes = 144;
  d.series.temperature.spikes = 144;
  EXPECT_FALSE(too_many_spikes(d));
  d.series.temperature.spikes = 145;
  EXPECT_TRUE(too_many_spikes(d));
  d.series.temperature.spikes = 0;
  d.series.w.spikes = 145;
  EXPECT_TRUE(too_many_spikes(d));
}

TEST(Despike, SeriesWithoutSpread) {
  // A quantised series whose middle half is one value has no median
  // absolute deviation; its spike is still found and bridged.
  std::vector<double> steady(2000, 12.5);
  for (std::size_t i = 0; i < steady.size(); i += 7) steady[i] = 12.501;
  steady[1000] = 14.0;
  const SeriesDespike one = despike(steady);
  EXPECT_GE(one.spikes, 1);
  EXPECT_LT(steady[1000], 12.6);

  // Constant, or a straight ramp: nothing to find and nothing changed.
  std::vector<double> constant(500, 3.0), ramp(500);
  for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = 0.01 * static_cast<double>(i);
  const std::vector<double> ramp_before = ramp;
  EXPECT_EQ(despike(constant).spikes, 0);
  EXPECT_EQ(despike(ramp).spikes, 0);
  EXPECT_EQ(ramp, ramp_before);

  // Too short for second differences.
  std::vector<double> two{1.0, 100.0};
  EXPECT_EQ(despike(two).spikes, 0);
  EXPECT_EQ(two[1], 100.0);

  // A block whose missing values were left in: neither the gap nor the
  // spike beside it is touched.
  std::vector<double> gappy(500, 1.0);
  gappy[100] = std::numeric_limits<double>::quiet_NaN();
  gappy[300] = 50.0;
  EXPECT_EQ(despike(gappy).spikes, 0);
  EXPECT_EQ(gappy[300], 50.0);
}

TEST(Despike, ThePassLimitIsReported) {
  // So many spikes that their differences widen the first pass's spreads,
  // which hides values a little beyond the threshold (4.6 spreads against
  // sqrt(2 ln 4000) = 4.07); the second pass, with the spreads of the
  // samples left, finds them.
  tools::Noise noise(5);
  std::vector<double> crowded(4000);
  for (double& value : crowded) value = noise.normal();
  for (double& value : crowded) {
    const double draw = noise.uniform();
    const double sign = noise.uniform() < 0.5 ? -1.0 : 1.0;
    if (draw < 0.08) {
      value += 40.0 * sign;
    } else if (draw < 0.085) {
      value = 4.6 * sign;
    }
  }
  std::vector<double> full = crowded, limited = crowded;
  const SeriesDespike all = despike(full);
  EXPECT_EQ(all.passes, 2);
  EXPECT_FALSE(all.pass_limit_reached);
  const SeriesDespike one = despike(limited, 1);
  EXPECT_EQ(one.passes, 1);
  EXPECT_TRUE(one.pass_limit_reached);
  EXPECT_LT(one.spikes, all.spikes);

  // A limit that the series does not need is not reported.
  testing::Record r = testing::turbulent_record(4000, 21);
  r.w[2000] += 1.0;
  const SeriesDespike enough = despike(r.w, 1);
  EXPECT_EQ(enough.passes, 1);
  EXPECT_FALSE(enough.pass_limit_reached);
}

}  // namespace
}  // namespace ecflux::qc
