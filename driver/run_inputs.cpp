#include "driver/run_inputs.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <utility>

#include "base/available_memory.h"
#include "base/file_paths.h"
#include "report/output_files.h"

namespace ecflux::driver {
namespace {

// A generous bound of what a run holds per sample of its blocks: the block,
// its statistics and fluctuation series (12 doubles), the reciprocals of the
// sample counts (2), two sweep batches of w and temperature for eight lanes
// (32), and the rows of a few blocks on their way to the files (40).
constexpr std::uint64_t bytes_per_block_sample = 96 * sizeof(double);

// Memory is promised more freely than it exists: a run whose blocks cannot
// fit in the memory the machine can still give would be killed while filling
// its tables, without a word. Such a run is refused before anything is
// written. Blocks that fit take their memory as samples arrive.
base::Status check_memory(const input::BlockSizes& sizes) {
  const auto available = base::available_memory();
  if (!available) return {};
  const std::uint64_t needed =
      static_cast<std::uint64_t>(sizes.block_samples) * bytes_per_block_sample;
  if (needed <= *available) return {};
  return base::Refusal{"blocks of " + std::to_string(sizes.block_samples) + " samples need about " +
                       std::to_string(needed >> 20) + " MB of memory, more than the " +
                       std::to_string(*available >> 20) +
                       " MB this machine can give; nothing was written"};
}

}  // namespace

std::vector<std::string> leftover_staged_files(const input::Configuration& config) {
  std::set<std::string> found;
  if (DIR* folder = ::opendir(".")) {
    while (const dirent* entry = ::readdir(folder)) {
      if (base::is_staged_name(entry->d_name)) found.insert(base::absolute_path(entry->d_name));
    }
    ::closedir(folder);
  }
  for (const report::OutputFileInfo& file : report::output_files) {
    if (file.role == report::OutputRole::standard_output) continue;
    const std::string staged =
        base::staged_path(base::resolved_path(report::output_name(file, config.results_file_name)));
    struct stat status {};
    if (::lstat(staged.c_str(), &status) == 0 && S_ISREG(status.st_mode)) found.insert(staged);
  }
  return {found.begin(), found.end()};
}

report::RunFileNames run_file_names(const input::Configuration& config) {
  return {config.data_file_name, input::configuration_file_name, config.results_file_name};
}

namespace {

// The second line of a failure that a slip in the configuration explains.
std::string slip_hint(const base::Failure& failure, const std::vector<textio::FieldPlace>& places) {
  if (failure.refusal() != nullptr) {
    for (const textio::FieldPlace& place : places) {
      if (place.before.find('\t') != std::string::npos) {
        return "line " + std::to_string(place.line) +
               " holds a tab before its value, which counts as one column: the value is read " +
               "from the wrong columns; use blanks (ecflux --check shows each field as read)";
      }
    }
  }
  const base::IoFailure* io = failure.io_failure();
  if (io != nullptr && io->condition == base::IoCondition::file_not_found &&
      io->unit == input::data_unit && !places.empty()) {
    const textio::FieldPlace& name = places.front();
    if (static_cast<int>(name.text.size()) == name.width && name.text.back() != ' ') {
      const std::size_t last = name.first_column + static_cast<std::size_t>(name.width) - 1;
      return "the data file name fills all " + std::to_string(name.width) +
             " columns of its field (line " + std::to_string(name.line) + ", columns " +
             std::to_string(name.first_column) + "-" + std::to_string(last) +
             "): a longer name is cut there; rename the file or give a shorter path";
    }
  }
  return {};
}

}  // namespace

base::Result<RunInputs> open_run_inputs() {
  std::vector<textio::FieldPlace> places;
  ECFLUX_TRY_VALUE(configuration, input::read_configuration(&places));
  const input::Configuration& config = configuration;
  const auto with_hint = [&places](base::Failure failure) {
    if (failure.hint.empty()) failure.hint = slip_hint(failure, places);
    return failure;
  };

  auto sizes = input::derive_block_sizes(config);
  if (!sizes.ok()) return with_hint(std::move(sizes.failure()));
  auto data = input::open_data_file(config.data_file_name);
  if (!data.ok()) return with_hint(std::move(data.failure()));
  ECFLUX_TRY(report::check_files_are_distinct(run_file_names(config)));
  ECFLUX_TRY(check_memory(sizes.value()));
  return RunInputs{std::move(configuration), std::move(places), sizes.value(),
                   std::move(data.value())};
}

input::ReadSettings read_settings(const input::Configuration& config,
                                  const input::BlockSizes& sizes,
                                  const input::QualityOptions& quality) {
  input::ReadSettings settings;
  settings.block_samples = sizes.block_samples;
  settings.start_time = config.start_time;
  settings.end_time = config.end_time;
  settings.w_select = config.w_select;
  settings.temperature_select = config.temperature_select;
  settings.sample_rate = sizes.sample_rate;
  settings.keep_components = quality.changes_samples();
  settings.missing_values = quality.missing;
  settings.fill_values = quality.fill_values;
  return settings;
}

input::ReadSettings read_settings(const RunInputs& inputs, const input::QualityOptions& quality) {
  return read_settings(inputs.config, inputs.sizes, quality);
}

qc::QualitySettings quality_settings(const input::QualityOptions& quality) {
  qc::QualitySettings settings;
  settings.fill_missing = quality.missing;
  settings.missing_allowance_percent = quality.missing_allowance;
  settings.despike = quality.despike;
  switch (quality.rotation) {
    case input::QualityOptions::Rotation::none: settings.rotation = qc::Rotation::none; break;
    case input::QualityOptions::Rotation::double_rotation:
      settings.rotation = qc::Rotation::double_rotation;
      break;
    case input::QualityOptions::Rotation::planar: settings.rotation = qc::Rotation::planar; break;
  }
  return settings;
}

base::Status check_readable_twice(const RunInputs& inputs) {
  if (inputs.data.list.lines().file_facts()) return {};
  return base::Refusal{"--rotate planar reads the data file twice, and " +
                       base::absolute_path(inputs.config.data_file_name) +
                       " is not a regular file (a pipe?); give a file, or use --rotate "
                       "double; nothing was written"};
}

std::optional<qc::MeanVelocity> block_mean_for_plane(input::Block& block, std::int64_t samples,
                                                     const qc::QualitySettings& quality) {
  qc::QualitySettings unturned = quality;
  unturned.rotation = qc::Rotation::none;
  qc::MeanVelocity mean;
  if (qc::control_block(block, samples, unturned, &mean).beyond_allowance) return std::nullopt;
  return mean;
}

std::optional<base::Warning> plane_warning(const qc::PlaneFit& fit, const std::string& file) {
  if (fit.outcome != qc::PlaneFitOutcome::fitted ||
      !(fit.spread_ratio < qc::plane_spread_ratio_limit)) {
    return std::nullopt;
  }
  char percent[32];
  std::snprintf(percent, sizeof percent, "%.1f", fit.spread_ratio * 100.0);
  return base::Warning{
      base::WarningKind::plane_uncertain, file, 0, 1,
      "the blocks' mean currents run close to one line (their spread across it is " +
          std::string(percent) +
          " % of that along it, under 10 %), so the planar fit's tilt across that line rests "
          "on little; look at the plane in run.json, or use --rotate double"};
}

base::Result<RunPlane> fit_run_plane(std::span<const qc::MeanVelocity> block_means,
                                     const std::string& file) {
  const qc::PlaneFit fit = qc::fit_plane(block_means);
  if (fit.outcome == qc::PlaneFitOutcome::fitted)
    return RunPlane{fit.plane, plane_warning(fit, file)};
  return base::Refusal{
      std::string("--rotate planar needs the mean currents of three blocks or more that do not "
                  "all lie along one line; ") +
      (fit.outcome == qc::PlaneFitOutcome::too_few_blocks ? "the data give fewer"
                                                          : "they all lie along one line") +
      "; use --rotate double; nothing was written"};
}

base::Result<DataSummary> read_data(RunInputs& inputs, const input::ReadSettings& settings,
                                    input::DataWarnings& warnings, const BlockHandler& on_block,
                                    const WarningHandler& on_warning) {
  for (base::Warning& finding : input::configuration_findings(inputs.places)) {
    on_warning(std::move(finding));
  }
  const BlockSource source{[&inputs, settings](input::Block& block) {
                             return input::read_block(inputs.data, settings, block);
                           },
                           [&inputs] { return inputs.data.list.lines().line_number(); }};
  return read_blocks(source, warnings, on_block, on_warning);
}

base::Result<DataSummary> read_blocks(const BlockSource& source, input::DataWarnings& warnings,
                                      const BlockHandler& on_block,
                                      const WarningHandler& on_warning) {
  input::Block block;
  DataSummary summary;
  std::vector<base::Warning> found;
  for (;;) {
    ECFLUX_TRY_VALUE(outcome, source.read_block(block));
    const input::BlockOutcome& read = outcome;
    const bool complete = read.status == input::BlockStatus::complete;
    found.clear();
    const input::BlockFindings findings =
        warnings.add_block(block, read.samples, summary.blocks + 1, complete, found);
    for (base::Warning& warning : found) on_warning(std::move(warning));
    if (read.status == input::BlockStatus::unreadable_record) {
      on_warning(warnings.unreadable_value(read.line));
    }
    ECFLUX_TRY(on_block(block, read.samples, complete, findings));
    if (!complete) {
      summary.end = {read.status, read.ending_time, read.samples};
      summary.end_line =
          read.status == input::BlockStatus::unreadable_record ? read.line : source.position();
      break;
    }
    ++summary.blocks;
  }
  for (base::Warning& warning : warnings.finish()) on_warning(std::move(warning));
  return summary;
}

}  // namespace ecflux::driver
