#include "driver/array_run.h"

#include <optional>
#include <vector>

#include "base/stop_signals.h"
#include "driver/block_pipeline.h"
#include "driver/provenance.h"
#include "driver/run_inputs.h"
#include "flux/time_shifts.h"
#include "flux/window_sweep.h"
#include "input/data_warnings.h"
#include "qc/block_quality.h"
#include "qc/rotation.h"

namespace ecflux::driver {
namespace {

bool stop_requested() { return base::stop_requested(); }

// The settings of the arrays as a configuration would give them: the
// channels chosen are those the arrays fill.
input::Configuration configuration_of(const ArrayRequest& request) {
  input::Configuration config;
  config.sample_rate = request.sample_rate;
  config.start_time = request.start_time;
  config.end_time = request.end_time;
  config.block_seconds = request.block_seconds;
  config.window_seconds = std::min(request.window_seconds, request.block_seconds);
  return config;
}

input::SampleArrays arrays_of(const ArrayRequest& request) {
  input::SampleArrays arrays;
  arrays.time = request.time;
  arrays.u = request.u;
  arrays.v = request.v;
  arrays.w = request.w;
  arrays.temperature = request.temperature;
  return arrays;
}

BlockSource source_of(input::SampleArrays& arrays, const input::ReadSettings& settings) {
  return {[&arrays, &settings](input::Block& block) {
            return input::read_block(arrays, settings, block);
          },
          [&arrays] { return static_cast<std::int64_t>(arrays.next); }};
}

// The plane of the planar fit over the arrays' blocks, as a run fits it over
// a data file's.
base::Result<RunPlane> fit_plane_of(const ArrayRequest& request,
                                    const input::ReadSettings& settings,
                                    const qc::QualitySettings& quality) {
  input::SampleArrays arrays = arrays_of(request);
  qc::QualitySettings first_pass = quality;
  first_pass.rotation = qc::Rotation::none;
  input::DataWarnings unused("", settings);
  std::vector<qc::MeanVelocity> means;
  const auto on_block = [&](input::Block& block, std::int64_t samples, bool complete,
                            const input::BlockFindings&) -> base::Status {
    if (!complete) return {};
    qc::MeanVelocity mean;
    if (!qc::control_block(block, samples, first_pass, &mean).beyond_allowance) {
      means.push_back(mean);
    }
    return {};
  };
  ECFLUX_TRY(read_blocks(source_of(arrays, settings), unused, on_block, [](base::Warning) {}));
  const qc::PlaneFit fit = qc::fit_plane(means);
  if (fit.outcome != qc::PlaneFitOutcome::fitted) {
    return base::Refusal{
        "rotate planar needs the mean currents of three blocks or more that do not all lie "
        "along one line; use rotate double"};
  }
  return RunPlane{fit.plane, plane_warning(fit, "")};
}

}  // namespace

base::Result<ArraySummary> process_arrays(const ArrayRequest& request,
                                          const RunListener& listener) {
  const std::size_t n = request.time.size();
  if (request.u.size() != n || request.v.size() != n || request.w.size() != n ||
      request.temperature.size() != n) {
    return base::Refusal{"time, u, v, w and temperature must be of one length"};
  }
  const input::Configuration config = configuration_of(request);
  ECFLUX_TRY_VALUE(sizes, input::derive_block_sizes(config));
  const input::ReadSettings settings = read_settings(config, sizes, request.quality);
  qc::QualitySettings quality = quality_settings(request.quality);
  if (request.quality.rotation == input::QualityOptions::Rotation::planar) {
    ECFLUX_TRY_VALUE(plane, fit_plane_of(request, settings, quality));
    quality.plane = plane.plane;
    if (plane.warning && listener.warning) listener.warning(*plane.warning);
  }

  flux::SweepOptions sweep_options = flux::default_sweep_options();
  sweep_options.stop = stop_requested;
  BlockPipeline pipeline(sizes, sweep_options,
                         pipeline_options(request.quality, /*keep_series=*/false));
  input::DataWarnings warnings("", settings);
  input::SampleArrays arrays = arrays_of(request);
  std::int64_t blocks = 0;
  const auto on_block = [&](input::Block& block, std::int64_t samples, bool complete,
                            const input::BlockFindings& findings) -> base::Status {
    if (!complete) return {};
    // The steady-state test judges the samples the fluxes are made of.
    std::optional<qc::BlockQuality> controlled;
    if (request.quality.changes_samples()) {
      controlled = qc::control_block(block, samples, quality);
    }
    report::BlockFacts facts =
        block_facts(block, sizes, blocks + 1, findings, warnings.seconds_per_time_unit());
    if (controlled) apply_block_quality(*controlled, facts);
    const BlockResult result = pipeline.process(block, facts);
    if (listener.block) listener.block(result);
    ++blocks;
    if (stop_requested()) return base::Interruption{base::stop_signal()};
    return {};
  };
  const auto on_warning = [&listener](base::Warning warning) {
    if (listener.warning) listener.warning(warning);
  };
  ECFLUX_TRY_VALUE(read, read_blocks(source_of(arrays, settings), warnings, on_block, on_warning));
  if (read.blocks == 0) {
    return base::Refusal{"nothing to compute: " +
                         warnings.no_block_reason(arrays.counts, read.end)};
  }
  const std::optional<flux::WindowFluxTable> table = pipeline.finish();
  if (!table) return base::Interruption{base::stop_signal()};
  if (listener.window_table) listener.window_table(*table, pipeline.block_mean_times(), sizes);
  return ArraySummary{sizes, read, std::string(warnings.time_unit()), arrays.counts};
}

report::RunRecord array_run_record(const ArrayRequest& request, const ArraySummary& summary,
                                   std::vector<int> quality_flags,
                                   std::vector<base::Warning> warnings) {
  report::RunRecord record;
  record.program = "ecflux";
  record.version = ECFLUX_VERSION;
  record.quality = recorded_quality(request.quality);
  record.block_samples = summary.sizes.block_samples;
  record.window_samples = summary.sizes.window_samples;
  record.sample_rate = summary.sizes.sample_rate;
  record.window_lengths = static_cast<std::int64_t>(flux::window_sequence(summary.sizes).size());
  record.delays_searched = flux::max_shift(summary.sizes.sample_rate);
  report::RecordedData& data = record.data;
  data.records_read = summary.counts.records;
  data.records_before_start = summary.counts.skipped;
  if (summary.counts.accepted > 0) {
    data.first_time = summary.counts.first_time;
    data.last_time = summary.counts.last_time;
  }
  data.input_end = std::string(input_end_name(summary.data.end.status));
  data.time_unit = summary.time_unit;
  record.blocks = summary.data.blocks;
  record.samples_dropped = summary.data.end.samples;
  record.quality_flags = std::move(quality_flags);
  record.warnings = std::move(warnings);
  return record;
}

}  // namespace ecflux::driver
