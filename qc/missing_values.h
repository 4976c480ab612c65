#pragma once

// Samples without a measurement: values that the instrument or a converter
// wrote as a fill value (such as -9999) or as not-a-number. A block with few
// of them is bridged; one with many is left as it is and reported.

#include <cstdint>
#include <span>

#include "qc/variables.h"

namespace ecflux::qc {

// The share of a block's samples, in percent, that may be missing for the
// block to be filled.
inline constexpr double default_missing_allowance_percent = 10.0;

// Whether a value, as the data file gives it (before any change of unit, so
// that a fill value matches exactly as written), stands for no measurement:
// it is not finite, or it equals one of the fill values.
bool is_missing(double file_value, std::span<const double> fill_values);

// marks[i] = 1 where file_values[i] is missing, 0 elsewhere. The spans have
// one length.
void mark_missing(std::span<const double> file_values, std::span<const double> fill_values,
                  std::span<std::uint8_t> marks);

// The missing marks of one block, one series per variable (1 = missing).
using MissingMarks = PerVariable<std::span<const std::uint8_t>>;

struct MissingSummary {
  std::int64_t samples = 0;
  PerVariable<std::int64_t> missing;  // marked values, per variable
  // Samples with at least one variable missing: a sample counts as missing
  // as a whole, since its flux needs all of them.
  std::int64_t missing_samples = 0;
  // More samples missing than the allowance, or a variable without any good
  // value: the series were left exactly as they were.
  bool beyond_allowance = false;
};

// Counts the block's missing values and, when the missing samples are within
// `allowance_percent` of the block (missing_samples x 100 <= allowance x
// samples), replaces each variable's missing values by interpolation between
// that variable's nearest good values (interpolate_marked). A variable's good
// values stay as measured even where another variable of the sample is
// missing.
MissingSummary fill_missing(BlockSeries series, MissingMarks marks,
                            double allowance_percent = default_missing_allowance_percent);

}  // namespace ecflux::qc
