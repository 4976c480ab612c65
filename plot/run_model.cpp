#include "plot/run_model.h"

#include <array>
#include <filesystem>
#include <limits>
#include <system_error>
#include <utility>

#include "plot/out_of_memory.h"
#include "report/output_files.h"

namespace ecflux::plot {
namespace {

using report::OutputRole;

std::optional<RunWindow> run_window(const std::optional<input::BlockSizes>& sizes,
                                    const input::Configuration& config) {
  if (!sizes) return std::nullopt;
  const double samples = sizes->window_samples;
  return RunWindow{config.sample_rate / samples, samples / config.sample_rate};
}

// Whether a CSV file of the run is in the run folder and, where there is a
// results file, was written by the same run: a run closes its CSV files after
// its results file, and a later run without --csv leaves the earlier CSV files
// older than its results file, which must not be drawn as its values.
bool csv_of_this_run(OutputRole role, const std::string& results_name) {
  std::error_code error;
  const auto csv_time =
      std::filesystem::last_write_time(report::output_file(role).fixed_name, error);
  if (error) return false;
  const auto results_time = std::filesystem::last_write_time(results_name, error);
  return error || csv_time >= results_time;
}

// The files the run is read from, open, in the order of RunModel::files_read.
struct RunFiles {
  bool csv = false;
  std::vector<std::string> names;
  std::vector<textio::LineReader> files;
};

textio::Result<RunFiles> open_run_files(const std::string& results_name) {
  RunFiles run;
  run.csv = csv_files_hold_results(results_name);
  const std::array<OutputRole, 4> roles = {
      run.csv ? OutputRole::blocks_csv : OutputRole::results, OutputRole::cumulative_flux,
      OutputRole::shifted_cumulative_flux,
      run.csv ? OutputRole::window_fluxes_csv : OutputRole::window_flux_table};
  for (const OutputRole role : roles) {
    const report::OutputFileInfo& info = report::output_file(role);
    run.names.emplace_back(report::output_name(info, results_name));
    auto file = guarding_memory("reading", {run.names.back()}, [&] {
      return textio::LineReader::open(run.names.back(), info.unit);
    });
    if (!file.ok()) return std::move(file.failure());
    run.files.push_back(std::move(file.value()));
  }
  return run;
}

SampleClock sample_clock(const input::BlockSizes& sizes, const BlockTable& table) {
  std::vector<double> times, delays;
  for (const BlockValues& block : table.blocks) {
    const auto value = [](const Field& field) {
      return field.state == FieldState::number ? field.value
                                               : std::numeric_limits<double>::quiet_NaN();
    };
    times.push_back(value(block.time));
    delays.push_back(value(block.delay_run_min));
  }
  return SampleClock(sizes, times, delays);
}

// The two cumulative-flux files, each row placed by the clock where the
// sizes give one.
textio::Status read_cumulative_files(RunFiles& files, RunModel& run) {
  if (run.sizes) run.clock = sample_clock(*run.sizes, run.blocks);
  const SampleClock* clock = run.clock ? &*run.clock : nullptr;
  auto plain = read_cumulative(files.files[1], files.names[1], clock, false);
  if (!plain.ok()) return std::move(plain.failure());
  auto shifted = read_cumulative(files.files[2], files.names[2], clock, true);
  if (!shifted.ok()) return std::move(shifted.failure());
  run.cumulative = std::move(plain.value());
  run.shifted = std::move(shifted.value());
  return {};
}

}  // namespace

bool csv_files_hold_results(const std::string& results_name) {
  return csv_of_this_run(OutputRole::blocks_csv, results_name) &&
         csv_of_this_run(OutputRole::window_fluxes_csv, results_name);
}

textio::Result<RunModel> read_run(const input::Configuration& config, std::size_t line_limit) {
  auto opened = open_run_files(config.results_file_name);
  if (!opened.ok()) return std::move(opened.failure());
  RunFiles& files = opened.value();
  const std::vector<std::string>& names = files.names;

  RunModel run;
  run.config = config;
  if (const auto sizes = input::derive_block_sizes(config); sizes.ok()) run.sizes = sizes.value();
  run.window = run_window(run.sizes, config);
  run.files_read = names;

  auto table = guarding_memory("reading", {names[0]}, [&] {
    return files.csv ? read_blocks_csv(std::move(files.files[0]), names[0])
                     : read_results_table(files.files[0], names[0]);
  });
  if (!table.ok()) return std::move(table.failure());
  run.blocks = std::move(table.value());

  auto cumulative = guarding_memory("reading", {names[1], names[2]},
                                    [&] { return read_cumulative_files(files, run); });
  if (!cumulative.ok()) return std::move(cumulative.failure());

  auto windows = guarding_memory("reading", {names[3]}, [&] {
    std::vector<std::string> times;
    for (const BlockValues& block : run.blocks.blocks) times.push_back(block.time_label);
    return files.csv ? read_window_list(std::move(files.files[3]), names[3], times, line_limit)
                     : read_window_table(files.files[3], names[3], times, line_limit);
  });
  if (!windows.ok()) return std::move(windows.failure());
  run.windows = std::move(windows.value());
  return run;
}

}  // namespace ecflux::plot
