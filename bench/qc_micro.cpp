// Micro-benchmarks of the quality control of a day of 16 Hz samples in
// quarter-hour blocks (96 blocks of 14,400): the whole set per day, and
// each step on its own. They measure; they check nothing.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

#include "qc/despike.h"
#include "qc/missing_values.h"
#include "qc/random_error.h"
#include "qc/rotation.h"
#include "qc/spectra.h"
#include "tools/noise.h"

namespace {

using namespace ecflux;

constexpr double sample_rate = 16.0;
constexpr std::size_t block_samples = 14400;
constexpr std::size_t blocks_a_day = 96;
constexpr double fill_value = -9999.0;

// A day as the data file gives it (cm/s and degrees Celsius): eddies that
// carry heat and momentum, a sensor tilted by three degrees, one sample in
// 500 a spike and one in 2,000 a fill value.
struct Day {
  std::vector<double> u, v, w, temperature;
};

Day day_of_samples() {
  tools::Noise noise(2024);
  Day day;
  const std::size_t n = block_samples * blocks_a_day;
  const double memory = std::exp(-1.0 / (2.0 * sample_rate));
  const double renewal = std::sqrt(1.0 - memory * memory);
  const double tilt = 3.0 * std::acos(-1.0) / 180.0;
  double eddy = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    eddy = memory * eddy + renewal * noise.normal();
    const double u = 20.0 - 3.0 * eddy + 2.0 * noise.normal();
    const double w = 2.0 * eddy + 0.8 * noise.normal();
    day.u.push_back(u * std::cos(tilt) - w * std::sin(tilt));
    day.v.push_back(-4.0 + 2.5 * noise.normal());
    day.w.push_back(u * std::sin(tilt) + w * std::cos(tilt));
    day.temperature.push_back(9.0 - 0.004 * eddy + 0.002 * noise.normal());
  }
  for (auto* series : {&day.u, &day.v, &day.w, &day.temperature}) {
    for (double& value : *series) {
      const double draw = noise.uniform();
      if (draw < 0.002) {
        value += (noise.uniform() < 0.5 ? -1.0 : 1.0) * 40.0 * std::fabs(value);
      } else if (draw < 0.0025) {
        value = fill_value;
      }
    }
  }
  return day;
}

// What the run would do with each block before its statistics, on a copy
// of the day.
void quality_control_of_day(Day& day, qc::RealTransform& block_transform,
                            qc::RealTransform& correlation_transform, std::int64_t lags) {
  const std::vector<double> fills{fill_value};
  std::vector<std::uint8_t> mu(block_samples), mv(block_samples), mw(block_samples),
      mt(block_samples);
  for (std::size_t b = 0; b < blocks_a_day; ++b) {
    const auto block = [&](std::vector<double>& series) {
      return std::span(series).subspan(b * block_samples, block_samples);
    };
    const qc::BlockSeries series{block(day.u), block(day.v), block(day.w), block(day.temperature)};
    qc::mark_missing(series.u, fills, mu);
    qc::mark_missing(series.v, fills, mv);
    qc::mark_missing(series.w, fills, mw);
    qc::mark_missing(series.temperature, fills, mt);
    benchmark::DoNotOptimize(qc::fill_missing(series, {mu, mv, mw, mt}));
    benchmark::DoNotOptimize(qc::despike_block(series));
    benchmark::DoNotOptimize(qc::rotate_double(series));
    benchmark::DoNotOptimize(
        qc::random_error(series.w, series.temperature, lags, correlation_transform));
    const qc::BlockSpectra spectra =
        qc::block_spectra(series.w, series.temperature, sample_rate, block_transform);
    benchmark::DoNotOptimize(qc::bin_spectra(spectra));
    benchmark::DoNotOptimize(qc::ogive_not_levelled(spectra));
  }
}

void BM_quality_control_day(benchmark::State& state) {
  const Day day = day_of_samples();
  const auto n = static_cast<std::int64_t>(block_samples);
  const std::int64_t lags = qc::integration_lags(n, sample_rate);
  for (auto _ : state) {
    state.PauseTiming();
    Day copy = day;
    state.ResumeTiming();
    // The transforms are planned once a run, for the run's block length.
    qc::RealTransform block_transform(block_samples);
    qc::RealTransform correlation_transform(qc::correlation_transform_length(n, lags));
    quality_control_of_day(copy, block_transform, correlation_transform, lags);
  }
}
BENCHMARK(BM_quality_control_day)->Unit(benchmark::kMillisecond);

// One step over the day's 96 blocks of w and temperature (and u, v where
// the step needs them), on clean, untilted data after the first steps.
enum class Step { despike, rotation, random_error, spectra };

void BM_step(benchmark::State& state, Step step) {
  Day day = day_of_samples();
  const auto n = static_cast<std::int64_t>(block_samples);
  const std::int64_t lags = qc::integration_lags(n, sample_rate);
  qc::RealTransform block_transform(block_samples);
  qc::RealTransform correlation_transform(qc::correlation_transform_length(n, lags));
  for (auto _ : state) {
    state.PauseTiming();
    Day copy = day;
    state.ResumeTiming();
    for (std::size_t b = 0; b < blocks_a_day; ++b) {
      const auto block = [&](std::vector<double>& series) {
        return std::span(series).subspan(b * block_samples, block_samples);
      };
      const qc::BlockSeries series{block(copy.u), block(copy.v), block(copy.w),
                                   block(copy.temperature)};
      switch (step) {
        case Step::despike: benchmark::DoNotOptimize(qc::despike_block(series)); break;
        case Step::rotation: benchmark::DoNotOptimize(qc::rotate_double(series)); break;
        case Step::random_error:
          benchmark::DoNotOptimize(
              qc::random_error(series.w, series.temperature, lags, correlation_transform));
          break;
        case Step::spectra:
          benchmark::DoNotOptimize(qc::bin_spectra(
              qc::block_spectra(series.w, series.temperature, sample_rate, block_transform)));
          break;
      }
    }
  }
}
BENCHMARK_CAPTURE(BM_step, despike, Step::despike)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_step, rotation, Step::rotation)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_step, random_error, Step::random_error)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_step, spectra, Step::spectra)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
