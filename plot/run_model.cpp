#include "plot/run_model.h"

#include <array>
#include <cmath>
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

// The files the run is read from, open, in the order of RunModel::files_read:
// the four that every run has, then those of this run that it may have.
struct RunFiles {
  bool csv = false;
  std::vector<std::string> names;
  std::vector<textio::LineReader> files;
  std::optional<textio::LineReader> record;   // run.json
  std::optional<textio::LineReader> spectra;  // cospectra.csv
};

// Opens a file of the run, naming it in `files`.
base::Result<textio::LineReader> open_run_file(OutputRole role, const std::string& results_name,
                                               RunFiles& files) {
  const report::OutputFileInfo& info = report::output_file(role);
  files.names.emplace_back(report::output_name(info, results_name));
  return guarding_memory("reading", {files.names.back()},
                         [&] { return textio::LineReader::open(files.names.back(), info.unit); });
}

base::Result<RunFiles> open_run_files(const std::string& results_name) {
  RunFiles run;
  run.csv = csv_files_hold_results(results_name);
  const std::array<OutputRole, 4> roles = {
      run.csv ? OutputRole::blocks_csv : OutputRole::results, OutputRole::cumulative_flux,
      OutputRole::shifted_cumulative_flux,
      run.csv ? OutputRole::window_fluxes_csv : OutputRole::window_flux_table};
  for (const OutputRole role : roles) {
    auto file = open_run_file(role, results_name, run);
    if (!file.ok()) return std::move(file.failure());
    run.files.push_back(std::move(file.value()));
  }
  for (const OutputRole role : {OutputRole::run_record, OutputRole::cospectra_csv}) {
    if (!csv_of_this_run(role, results_name)) continue;
    ECFLUX_TRY_VALUE(file, open_run_file(role, results_name, run));
    (role == OutputRole::run_record ? run.record : run.spectra) = std::move(file);
  }
  return run;
}

// The time of each block as the lines of the window fluxes and the spectra
// are labelled with it.
std::vector<std::string> block_times(const BlockTable& table) {
  std::vector<std::string> times;
  for (const BlockValues& block : table.blocks) times.push_back(block.time_label);
  return times;
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
base::Status read_cumulative_files(RunFiles& files, RunModel& run) {
  if (run.sizes) run.clock = sample_clock(*run.sizes, run.blocks);
  const SampleClock* clock = run.clock ? &*run.clock : nullptr;
  ECFLUX_TRY_VALUE(plain, read_cumulative(files.files[1], files.names[1], clock, false));
  ECFLUX_TRY_VALUE(shifted, read_cumulative(files.files[2], files.names[2], clock, true));
  run.cumulative = std::move(plain);
  run.shifted = std::move(shifted);
  return {};
}

// The record of run.json, or why the run has none.
base::Status read_record(std::optional<textio::LineReader>& file, RunModel& run) {
  const std::string_view name = report::output_file(OutputRole::run_record).fixed_name;
  if (!file) {
    run.record_absence = std::string(name) +
                         " of this run was not found: the run was made by an earlier version "
                         "of ecflux, or its files were copied without it.";
    return {};
  }
  std::string text;
  std::string_view line;
  for (;;) {
    ECFLUX_TRY_VALUE(next, file->next(line));
    if (!next) break;
    text.append(line).push_back('\n');
  }
  auto facts = parse_run_record(text);
  if (!facts.ok()) {
    run.record_absence =
        std::string(name) + " holds no record of a run: " + facts.failure().message() + ".";
    return {};
  }
  run.record = std::move(facts.value());
  return {};
}

// What the record tells of the whole run: the medium of its fluxes and the
// unit of its times.
void take_record_facts(RunModel& run) {
  if (!run.record) return;
  const RunRecordFacts& record = *run.record;
  run.medium = {record.quality.density, record.quality.heat_capacity};
  run.time_scale = time_scale(record.data.time_unit, record.data.first_time, record.data.last_time);
}

// Each block's flag from run.json, where blocks.csv gives none and the
// record has one for every block.
void take_record_flags(RunModel& run) {
  if (!run.record || !run.blocks.names.flag.empty()) return;
  const std::vector<int>& flags = run.record->quality_flags;
  if (flags.size() != run.blocks.blocks.size()) return;
  for (std::size_t b = 0; b < flags.size(); ++b) run.blocks.blocks[b].flag = flags[b];
}

}  // namespace

bool csv_files_hold_results(const std::string& results_name) {
  return csv_of_this_run(OutputRole::blocks_csv, results_name) &&
         csv_of_this_run(OutputRole::window_fluxes_csv, results_name);
}

base::Result<RunModel> read_run(const input::Configuration& config, std::size_t line_limit) {
  ECFLUX_TRY_VALUE(opened, open_run_files(config.results_file_name));
  RunFiles& files = opened;
  const std::vector<std::string>& names = files.names;

  RunModel run;
  run.config = config;
  if (const auto sizes = input::derive_block_sizes(config); sizes.ok()) run.sizes = sizes.value();
  run.window = run_window(run.sizes, config);
  run.files_read = names;

  const std::string record_name(report::output_file(OutputRole::run_record).fixed_name);
  auto record =
      guarding_memory("reading", {record_name}, [&] { return read_record(files.record, run); });
  if (!record.ok()) return std::move(record.failure());
  take_record_facts(run);

  auto table = guarding_memory("reading", {names[0]}, [&] {
    return files.csv ? read_blocks_csv(std::move(files.files[0]), names[0])
                     : read_results_table(files.files[0], names[0]);
  });
  if (!table.ok()) return std::move(table.failure());
  run.blocks = std::move(table.value());
  take_record_flags(run);

  auto cumulative = guarding_memory("reading", {names[1], names[2]},
                                    [&] { return read_cumulative_files(files, run); });
  if (!cumulative.ok()) return std::move(cumulative.failure());

  auto windows = guarding_memory("reading", {names[3]}, [&] {
    const std::vector<std::string> times = block_times(run.blocks);
    return files.csv ? read_window_list(std::move(files.files[3]), names[3], times, run.medium,
                                        line_limit)
                     : read_window_table(files.files[3], names[3], times, run.medium, line_limit);
  });
  if (!windows.ok()) return std::move(windows.failure());
  run.windows = std::move(windows.value());

  if (files.spectra) {
    const std::string& name = names.back();
    auto spectra = guarding_memory("reading", {name}, [&] {
      const double step = run.sizes ? 1.0 / run.sizes->duration() : std::nan("");
      return read_spectra(std::move(*files.spectra), name, block_times(run.blocks), step,
                          line_limit);
    });
    if (!spectra.ok()) return std::move(spectra.failure());
    run.spectra = std::move(spectra.value());
  }
  return run;
}

}  // namespace ecflux::plot
