#pragma once

// The inner loops of the fast window sweep, one build per instruction set.
// A batch holds the w and temperature series of up to `lanes` blocks,
// interleaved sample by sample, so that one vector register carries the same
// sample of every block and every lane goes through exactly the operations of
// the straightforward sweep, in the same order.

#include <cstdint>

namespace ecflux::flux {

struct SweepTask {
  // Sample k of lane l is at [k * lanes + l]; rows are aligned to the
  // register width.
  const double* w;
  const double* temperature;
  std::int32_t block_samples;
  // The task's windows, in ascending length.
  const std::int32_t* window_length;
  std::int32_t window_count;
  // RN(1 / c) and the rounded rest 1 / c - RN(1 / c), for c = 1 ... N.
  const double* reciprocal_high;
  const double* reciprocal_low;
  double sample_rate;
  double sample_rate_reciprocal_high;
  double sample_rate_reciprocal_low;
  bool sample_rate_power_of_two;  // then p / fs is exactly p * (1 / fs)
  // Divide with the division instruction instead of the corrected
  // reciprocal: for batches holding values outside the range where the
  // correction is proven exact.
  bool exact_division;
  // Working storage: three registers per window.
  double* state;
  // Out: the sum of (dw * dT) / fs per window and lane, [window * lanes + l].
  double* sums;
};

// Lanes per register of each build.
inline constexpr int plain_lanes = 1;
inline constexpr int avx2_lanes = 4;
inline constexpr int avx512_lanes = 8;

void run_sweep_task_plain(const SweepTask& task);
void run_sweep_task_avx2(const SweepTask& task);
void run_sweep_task_avx512(const SweepTask& task);

}  // namespace ecflux::flux
