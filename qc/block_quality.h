#pragma once

// Quality control of one block's samples before its statistics: missing
// values filled, spikes replaced, the sensor's tilt taken out. Then the
// block's sums and horizontal speeds are formed again from the samples as
// they now are, in sample order and with the same operations as the reader
// forms them, so that a block that quality control leaves as it is gives the
// same bits as without it.

#include <cstdint>
#include <optional>

#include "input/block_reader.h"
#include "qc/rotation.h"
#include "qc/variables.h"

namespace ecflux::qc {

enum class Rotation { none, double_rotation, planar };

struct QualitySettings {
  bool fill_missing = false;  // the block was read with missing values marked
  double missing_allowance_percent = 10.0;
  bool despike = false;
  Rotation rotation = Rotation::none;
  Plane plane;  // for the planar rotation, fitted over the run's blocks
};

// What quality control did to a block, for its row of blocks.csv and its
// flag.
struct BlockQuality {
  std::int64_t missing_samples = 0;  // samples with any missing value
  bool beyond_allowance = false;     // too many to fill: left as read, flagged 2
  PerVariable<std::int64_t> spikes;  // samples replaced per variable
  bool too_many_spikes = false;      // more than 1 % in w or temperature: flagged 1
  bool despike_pass_limit_reached = false;
  // The tilt taken out, degrees: the yaw and pitch of the double rotation,
  // or the yaw after the plane's pitch and roll. Not a number where not
  // rotated.
  double yaw = 0.0, pitch = 0.0, roll = 0.0;
};

// Controls the first `samples` samples of the block (read with
// keep_components, and with missing_values where `fill_missing`) in place.
// `measured`, where given, receives the block's mean velocity after filling
// and despiking and before any rotation: what the planar fit is made of.
BlockQuality control_block(input::Block& block, std::int64_t samples,
                           const QualitySettings& settings, MeanVelocity* measured = nullptr);

}  // namespace ecflux::qc
