#include "flux/window_sweeper.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <random>
#include <string_view>
#include <vector>

#include "flux/aligned_doubles.h"
#include "flux/corrected_division.h"
#include "tests/flux/kernel_division.h"
#include "tests/support/test_support.h"

namespace ecflux::flux {
namespace {

std::vector<const Implementation*> available_sets() {
  std::vector<const Implementation*> sets;
  for (const Implementation* set : implementations()) {
    if (set->supported()) sets.push_back(set);
  }
  return sets;
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Blocks that look like measurements: w in m/s around a small mean, and
// temperatures in kelvin that follow w.
std::vector<input::Block> random_blocks(int count, std::int32_t n, std::uint64_t seed) {
  std::mt19937_64 random(seed);
  std::normal_distribution<double> normal;
  std::vector<input::Block> blocks;
  for (int b = 0; b < count; ++b) {
    input::Block block = input::make_block(n);
    for (std::size_t i = 0; i < block.w.size(); ++i) {
      block.w[i] = std::round((0.002 + 0.01 * normal(random)) * 1e5) / 1e5;
      block.temperature[i] = 277.1499938964844 + 0.004 * normal(random) - 0.3 * block.w[i];
    }
    blocks.push_back(std::move(block));
  }
  return blocks;
}

// The straightforward sweep of every block, row after row.
WindowFluxTable reference_table(const std::vector<input::Block>& blocks, std::int32_t n,
                                double fs) {
  WindowFluxTable table;
  table.window_length = window_sequence({n, 1, fs});
  auto scratch = make_sweep_scratch(n);
  for (const auto& block : blocks) sweep_running_mean_windows(block, {n, 1, fs}, scratch, table);
  return table;
}

WindowFluxTable fast_table(const std::vector<input::Block>& blocks, std::int32_t n, double fs,
                           SweepOptions options) {
  WindowSweeper sweeper({n, 1, fs}, options);
  const auto samples = static_cast<std::size_t>(n);
  for (const auto& block : blocks) {
    sweeper.add_block(std::span(block.w).first(samples),
                      std::span(block.temperature).first(samples));
  }
  return *sweeper.finish();
}

void expect_identical(const WindowFluxTable& fast, const WindowFluxTable& reference,
                      const std::string& what) {
  ASSERT_EQ(fast.window_length, reference.window_length) << what;
  ASSERT_EQ(fast.window_flux.size(), reference.window_flux.size()) << what;
  for (std::size_t i = 0; i < fast.window_flux.size(); ++i) {
    if (!same_bits(fast.window_flux[i], reference.window_flux[i])) {
      ADD_FAILURE() << what << ": entry " << i << " is " << fast.window_flux[i] << ", expected "
                    << reference.window_flux[i];
      return;
    }
  }
}

struct Case {
  double fs;
  std::int32_t n;
  int blocks;
};

// Sampling rates below 4 Hz, whole and fractional rates, and blocks just
// above the points where the window steps change.
const Case cases[] = {
    {10.0, 600, 3}, {16.0, 577, 9},  {2.0, 120, 5},   {3.0, 45, 17},  {1.0, 40, 2},
    {20.9, 420, 4}, {7.5, 76, 11},   {10.0, 101, 8},  {10.0, 103, 1}, {8.0, 82, 12},
    {4.0, 41, 20},  {50.0, 1001, 2}, {16.0, 161, 16}, {5.0, 2, 3},    {10.0, 3, 9},
};

TEST(WindowSweeper, EveryInstructionSetAndThreadCountMatchesTheStraightforwardSweep) {
  std::uint64_t seed = 1;
  for (const Case& c : cases) {
    const auto blocks = random_blocks(c.blocks, c.n, seed++);
    const WindowFluxTable reference = reference_table(blocks, c.n, c.fs);
    for (const Implementation* set : available_sets()) {
      for (const int threads : {1, 2, 3}) {
        const std::string what = std::string(set->name) + " threads " + std::to_string(threads) +
                                 " fs " + std::to_string(c.fs) + " N " + std::to_string(c.n) +
                                 " blocks " + std::to_string(c.blocks);
        expect_identical(fast_table(blocks, c.n, c.fs, {threads, set}), reference, what);
      }
    }
  }
}

TEST(WindowSweeper, ValuesFarFromOneTakeTheDivisionInstructionAndStillMatch) {
  for (const double extreme : {1e-300, 3e290, 0x1p-251, 0x1p251}) {
    auto blocks = random_blocks(5, 90, 99);
    blocks[2].w[17] = extreme;
    blocks[4].temperature[3] = -extreme;
    const WindowFluxTable reference = reference_table(blocks, 90, 8.0);
    for (const Implementation* set : available_sets()) {
      expect_identical(fast_table(blocks, 90, 8.0, {2, set}), reference, std::string(set->name));
    }
  }
}

TEST(WindowSweeper, ZerosAndConstantSeries) {
  auto blocks = random_blocks(3, 64, 5);
  for (std::size_t i = 0; i < 64; ++i) {
    blocks[0].w[i] = 0.0;
    blocks[1].temperature[i] = 280.0;
    blocks[2].w[i] = i % 2 == 0 ? -0.0 : 0.0;
  }
  const WindowFluxTable reference = reference_table(blocks, 64, 10.0);
  for (const Implementation* set : available_sets()) {
    expect_identical(fast_table(blocks, 64, 10.0, {1, set}), reference, std::string(set->name));
  }
}

// A run without a complete block spends nothing on the sweep, even for a
// block too long to sweep at all (more than ten million window lengths).
TEST(WindowSweeper, NoBlockGivesAnEmptyTable) {
  for (const input::BlockSizes sizes :
       {input::BlockSizes{100, 1, 10.0}, input::BlockSizes{24'691'356, 1, 2.5}}) {
    WindowSweeper sweeper(sizes, default_sweep_options());
    const WindowFluxTable table = *sweeper.finish();
    EXPECT_EQ(table.block_count(), 0u);
    EXPECT_TRUE(table.window_length.empty());
  }
}

std::size_t thread_count() {
  const std::filesystem::directory_iterator tasks("/proc/self/task");
  return static_cast<std::size_t>(std::distance(begin(tasks), end(tasks)));
}

// A run that ends early drops its sweeper unfinished, with batches queued or
// in flight, or with one only part filled: the workers stop and are gone with
// it, without waiting for sweeps nobody will read.
TEST(WindowSweeper, DroppedWithoutFinishingTakesItsThreadsWithIt) {
  const auto blocks = random_blocks(20, 300, 3);
  const std::size_t before = thread_count();
  for (const std::size_t added : {blocks.size(), std::size_t{3}}) {
    {
      WindowSweeper sweeper({300, 1, 10.0}, {2, &best_implementation()});
      for (std::size_t b = 0; b < added; ++b) {
        sweeper.add_block(std::span(blocks[b].w).first(300),
                          std::span(blocks[b].temperature).first(300));
      }
      EXPECT_EQ(thread_count(), before + 2) << added << " blocks";
    }
    // A joined thread may linger in the process's list for a moment.
    EXPECT_TRUE(ecflux::testing::eventually([&] { return thread_count() == before; }))
        << added << " blocks: " << thread_count() << " threads, " << before << " before";
  }
}

// The vector builds whose sweep divides with the corrected reciprocal, where
// this processor runs them.
struct VectorDivision {
  std::string_view name;
  KernelDivision divide;
};

std::vector<VectorDivision> available_divisions() {
  std::vector<VectorDivision> divisions;
  for (const VectorDivision& division : {VectorDivision{"avx2", divide_as_avx2_sweep},
                                         VectorDivision{"avx512", divide_as_avx512_sweep}}) {
    const Implementation* set = find_implementation(division.name);
    if (set != nullptr && set->supported()) divisions.push_back(division);
  }
  return divisions;
}

// Quotients a / c, gathered and then divided by every vector build at once;
// each build's quotient must be the division instruction's, bit for bit.
class DivisionCheck {
 public:
  static constexpr std::size_t capacity = 1 << 16;

  explicit DivisionCheck(std::vector<VectorDivision> divisions)
      : divisions_(std::move(divisions)),
        a_(capacity),
        c_(capacity),
        high_(capacity),
        low_(capacity),
        quotient_(capacity) {}

  void add(double a, double c) {
    const SplitReciprocal reciprocal = split_reciprocal(c);
    a_.data()[size_] = a;
    c_.data()[size_] = c;
    high_.data()[size_] = reciprocal.high;
    low_.data()[size_] = reciprocal.low;
    if (++size_ == capacity) check();
  }

  // The quotients that differed, after checking the rest.
  long mismatches() {
    // The unused places of the last batch divide 1 by 1.
    while (size_ % avx512_lanes != 0) add(1.0, 1.0);
    check();
    return mismatches_;
  }

 private:
  void check() {
    for (const VectorDivision& division : divisions_) {
      division.divide(a_.data(), c_.data(), high_.data(), low_.data(), quotient_.data(), size_);
      for (std::size_t i = 0; i < size_; ++i) {
        const double a = a_.data()[i];
        const double c = c_.data()[i];
        if (!same_bits(quotient_.data()[i], a / c)) {
          if (mismatches_++ < 5) {
            ADD_FAILURE() << division.name << ": " << a << " / " << c << " gave "
                          << quotient_.data()[i] << ", the division instruction " << a / c;
          }
        }
      }
    }
    size_ = 0;
  }

  std::vector<VectorDivision> divisions_;
  AlignedDoubles a_, c_, high_, low_, quotient_;
  std::size_t size_ = 0;
  long mismatches_ = 0;
};

TEST(CorrectedDivision, AgreesWithTheDivisionInstructionOverTheSafeRange) {
  auto divisions = available_divisions();
  if (divisions.empty()) GTEST_SKIP() << "no vector build runs on this processor";
  DivisionCheck check(std::move(divisions));
  std::mt19937_64 random(2024);
  std::uniform_int_distribution<std::int64_t> count(1, std::int64_t{1} << 31);
  std::uniform_real_distribution<double> unit(1.0, 2.0);
  // The quotients, products and sums of values within the sweeper's safe
  // range stay within these powers of two.
  std::uniform_int_distribution<int> exponent(-800, 600);
  std::uniform_int_distribution<int> rate_exponent(0, 30);
  for (int i = 0; i < 4'000'000; ++i) {
    const double a = std::ldexp(unit(random), exponent(random)) * (i % 2 ? 1 : -1);
    // Sample counts, and sampling rates of any value from 1 to 2^31.
    const double c = i % 3 == 0
                         ? std::ldexp(unit(random), rate_exponent(random))
                         : static_cast<double>(count(random) % (i % 5 == 0 ? 64 : 1 << 30) + 1);
    check.add(a, c);
  }
  EXPECT_EQ(check.mismatches(), 0);
}

__extension__ using Unsigned128 = unsigned __int128;

TEST(CorrectedDivision, QuotientsNextToHalfwayPoints) {
  auto divisions = available_divisions();
  if (divisions.empty()) GTEST_SKIP() << "no vector build runs on this processor";
  DivisionCheck check(std::move(divisions));
  std::mt19937_64 random(7);
  // Counts: a = c * q' with q' just off the midpoint between two doubles.
  std::uniform_real_distribution<double> unit(1.0, 2.0);
  std::uniform_int_distribution<int> small_count(1, 100000);
  for (int i = 0; i < 500'000; ++i) {
    const double c = static_cast<double>(small_count(random));
    const double q = std::ldexp(unit(random), (i % 40) - 20);
    const double midpoint = q + (std::nextafter(q, 2 * q) - q) / 2;
    for (const double a : {c * midpoint, std::nextafter(c * midpoint, 0.0),
                           std::nextafter(c * midpoint, 1e300), c * q}) {
      check.add(a, c);
    }
  }
  // Rates c of 53 significant bits C, and a of the bits A, where
  // C * M = A * 2^53 +- 1 for a 54-bit odd M: a / c is within about 2^-106 of
  // the midpoint M / 2^53 (scaled), as close as a quotient of doubles comes.
  // There the first estimate alone often rounds the wrong way.
  for (int i = 0; i < 200'000; ++i) {
    const std::uint64_t rate_bits = (random() >> 11) | (std::uint64_t{1} << 52) | 1;
    std::uint64_t inverse = rate_bits;  // of rate_bits modulo 2^64, by Newton's steps
    for (int step = 0; step < 6; ++step) inverse *= 2 - rate_bits * inverse;
    // C * M = A * 2^53 + 1 (a / c below the midpoint), or A * 2^53 - 1.
    const bool below = i % 2 == 0;
    const std::uint64_t low_bits = (std::uint64_t{1} << 53) - 1;
    const std::uint64_t midpoint_bits =
        ((below ? inverse : 0 - inverse) & low_bits) | (std::uint64_t{1} << 53);
    const Unsigned128 product = Unsigned128{rate_bits} * midpoint_bits;
    const auto quotient_bits =
        static_cast<std::uint64_t>((below ? product - 1 : product + 1) >> 53);
    if (quotient_bits >> 53 != 0) continue;  // more than 53 bits
    const int rate_exponent = static_cast<int>(random() % 31) - 52;
    const double c = std::ldexp(static_cast<double>(rate_bits), rate_exponent);
    const double a = std::ldexp(static_cast<double>(quotient_bits),
                                rate_exponent + static_cast<int>(random() % 41) - 20);
    check.add(a, c);
    check.add(-a, c);
  }
  EXPECT_EQ(check.mismatches(), 0);
}

}  // namespace
}  // namespace ecflux::flux
