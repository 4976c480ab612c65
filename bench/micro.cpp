// Micro-benchmarks of the inner loops of a run: reading the free-form data
// records, converting one number, formatting one fixed-column field, and
// sweeping one hour's block (57600 samples at 16 Hz) over the window lengths.
// They measure; they check nothing.

#include <benchmark/benchmark.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "flux/window_sweep.h"
#include "flux/window_sweeper.h"
#include "input/block_reader.h"
#include "textio/fields.h"
#include "textio/line_reader.h"
#include "textio/list_reader.h"
#include "textio/numbers.h"
#include "tools/noise.h"

namespace {

using namespace ecflux;

constexpr double sample_rate = 16.0;
constexpr std::int32_t hour_block = 57600;

using tools::Noise;

// Records as the instruments write them: time, u, v, w1, w2, T1, T2.
std::string data_text(std::size_t records) {
  Noise noise(7);
  std::string text = "time(s) u(cm/s) v(cm/s) w1(cm/s) w2(cm/s) T1(C) T2(C)\r\n";
  char line[128];
  for (std::size_t i = 0; i < records; ++i) {
    const double t = static_cast<double>(i) / sample_rate;
    const double w = 0.05 + 1.2 * noise.normal();
    const double temperature = 4.2 + 0.002 * noise.normal();
    const int length = std::snprintf(line, sizeof line, "%.4f %.3f %.3f %.3f %.3f %.5f %.5f\r\n", t,
                                     12.0 + 1.5 * noise.normal(), -5.0 + 1.5 * noise.normal(), w,
                                     w + 0.05 * noise.normal(), temperature, temperature + 0.01);
    text.append(line, static_cast<std::size_t>(length));
  }
  return text;
}

// One block of w (m/s) and temperature (K) with eddies that the temperature
// follows, as in a field record.
input::Block hour_of_samples(std::uint64_t seed) {
  Noise noise(seed);
  input::Block block = input::make_block(hour_block);
  double eddy = 0.0;
  const double memory = std::exp(-1.0 / (2.0 * sample_rate));
  for (std::int32_t i = 0; i < hour_block; ++i) {
    eddy = memory * eddy + std::sqrt(1.0 - memory * memory) * 1.2 * noise.normal();
    const double w = 0.05 + eddy + 0.3 * noise.normal();
    const auto at = static_cast<std::size_t>(i);
    block.sample_time[at] = i / sample_rate;
    block.w[at] = w / 100.0;
    block.temperature[at] = 4.2 - 0.004 * w + 0.002 * noise.normal() + input::kelvin_offset;
  }
  return block;
}

void BM_list_reader(benchmark::State& state) {
  const std::string text = data_text(static_cast<std::size_t>(state.range(0)));
  std::array<double, 7> values{};
  for (auto _ : state) {
    state.PauseTiming();
    textio::ListReader reader(textio::LineReader::from_text(text, 8, "memory"));
    state.ResumeTiming();
    std::span<double> none;
    benchmark::DoNotOptimize(reader.read(none));  // the header record
    for (;;) {
      const auto read = reader.read(values);
      if (!read.ok() || read.value() != textio::ListReader::Outcome::complete) break;
      benchmark::DoNotOptimize(values.data());
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(text.size()));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_list_reader)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_parse_number(benchmark::State& state) {
  static constexpr std::array<std::string_view, 8> tokens = {
      "86399.9375", "12.871", "-2.695", "0.159", "-0.028", "4.20131", "4.21145", "1382400"};
  for (auto _ : state) {
    for (const std::string_view token : tokens) {
      benchmark::DoNotOptimize(textio::parse_number(token));
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(tokens.size()));
}
BENCHMARK(BM_parse_number);

// ns per field: the counter's rate inverted.
void set_time_per_field(benchmark::State& state, std::size_t fields_per_iteration) {
  const auto fields =
      state.iterations() * static_cast<benchmark::IterationCount>(fields_per_iteration);
  state.counters["per_field"] = benchmark::Counter(
      static_cast<double>(fields), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// F12.8: the fields of the cumulative-flux rows (times of a day overflow it).
void BM_put_real_F12_8(benchmark::State& state) {
  static constexpr std::array<double, 6> values = {-1.2345678901e-5, 3.0517578125e-4, -0.0123456789,
                                                   0.987654321,      12.3456789012,   86399.9375};
  char field[16];
  for (auto _ : state) {
    for (const double value : values) {
      benchmark::DoNotOptimize(textio::put_real(field, value, 12, 8));
      benchmark::ClobberMemory();
    }
  }
  set_time_per_field(state, values.size());
}
BENCHMARK(BM_put_real_F12_8);

// F8.2: the heat fluxes of the results row.
void BM_put_real_F8_2(benchmark::State& state) {
  static constexpr std::array<double, 6> values = {-153.7812, -92.9731, 12.345,
                                                   0.005,     241.6649, -1023.125};
  char field[16];
  for (auto _ : state) {
    for (const double value : values) {
      benchmark::DoNotOptimize(textio::put_real(field, value, 8, 2));
      benchmark::ClobberMemory();
    }
  }
  set_time_per_field(state, values.size());
}
BENCHMARK(BM_put_real_F8_2);

// The straightforward sweep, one window at a time: its cost hardly depends on
// the window length, so a few lengths of the sequence stand for all of them.
void BM_window_flux(benchmark::State& state) {
  const input::Block block = hour_of_samples(1);
  flux::SweepScratch scratch = flux::make_sweep_scratch(hour_block);
  const auto window = static_cast<std::int32_t>(state.range(0));
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        flux::window_flux(block, {hour_block, 1, sample_rate}, window, scratch));
  }
  // Time per window times the windows of a block: the straightforward sweep
  // of one hour's block, extrapolated.
  const auto windows =
      static_cast<double>(flux::window_sequence({hour_block, 1, sample_rate}).size());
  state.counters["block_estimate"] =
      benchmark::Counter(static_cast<double>(state.iterations()) / windows,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_window_flux)
    ->Arg(2)
    ->Arg(16)
    ->Arg(160)
    ->Arg(4800)
    ->Arg(57584)
    ->Unit(benchmark::kMicrosecond);

// The machine's busy and total processor time so far, from /proc/stat, in
// ticks; zeros where it cannot be read.
struct MachineTicks {
  double busy = 0.0;
  double total = 0.0;
};

MachineTicks machine_ticks() {
  MachineTicks ticks;
  std::FILE* stat = std::fopen("/proc/stat", "r");
  if (stat == nullptr) return ticks;
  unsigned long long user = 0, nice = 0, system = 0, idle = 0, iowait = 0, irq = 0, softirq = 0,
                     steal = 0;
  if (std::fscanf(stat, "cpu %llu %llu %llu %llu %llu %llu %llu %llu", &user, &nice, &system, &idle,
                  &iowait, &irq, &softirq, &steal) == 8) {
    ticks.busy = static_cast<double>(user + nice + system + irq + softirq + steal);
    ticks.total = ticks.busy + static_cast<double>(idle + iowait);
  }
  std::fclose(stat);
  return ticks;
}

double process_cpu_seconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// The fast sweep of whole blocks: a sweeper made, the blocks added, finished.
// The counter other_work is the share of the machine's processor time that
// other processes took meanwhile: the timings are only clean when it is near
// zero.
// "workers" is SweepOptions::threads; the calling thread also sweeps while it
// waits in finish(), so one worker can keep two processors busy.
void sweeper_benchmark(benchmark::State& state, flux::SweepOptions options, int blocks) {
  std::vector<input::Block> data;
  for (int b = 0; b < blocks; ++b) {
    data.push_back(hour_of_samples(static_cast<std::uint64_t>(b) + 1));
  }
  const MachineTicks machine_before = machine_ticks();
  const double own_before = process_cpu_seconds();
  for (auto _ : state) {
    flux::WindowSweeper sweeper({hour_block, 1, sample_rate}, options);
    for (const input::Block& block : data) {
      sweeper.add_block(std::span(block.w).first(hour_block),
                        std::span(block.temperature).first(hour_block));
    }
    benchmark::DoNotOptimize(sweeper.finish());
  }
  const MachineTicks machine_after = machine_ticks();
  const double own = process_cpu_seconds() - own_before;
  const double tick = 1.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
  const double total = (machine_after.total - machine_before.total) * tick;
  const double others = (machine_after.busy - machine_before.busy) * tick - own;
  state.counters["other_work"] = total > 0.0 ? std::max(0.0, others) / total : 0.0;
  state.counters["per_block"] =
      benchmark::Counter(static_cast<double>(state.iterations() * blocks),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void register_sweeper_benchmarks() {
  std::vector<int> thread_counts = {1};
  if (flux::available_processors() > 1) thread_counts.push_back(flux::available_processors());
  for (const flux::Implementation* set : flux::implementations()) {
    if (!set->supported()) continue;
    for (const int threads : thread_counts) {
      for (const int blocks : {1, 8}) {
        const std::string name = "BM_window_sweeper/" + std::string(set->name) +
                                 "/workers:" + std::to_string(threads) +
                                 "/blocks:" + std::to_string(blocks);
        benchmark::RegisterBenchmark(name.c_str(), sweeper_benchmark,
                                     flux::SweepOptions{threads, set}, blocks)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->MeasureProcessCPUTime();
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  register_sweeper_benchmarks();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
