#include "driver/run.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "base/file_paths.h"
#include "base/folder_lock.h"
#include "base/stop_signals.h"
#include "driver/block_pipeline.h"
#include "driver/check.h"
#include "driver/messages.h"
#include "driver/output_queue.h"
#include "driver/provenance.h"
#include "driver/run_inputs.h"
#include "driver/run_outputs.h"
#include "flux/window_sweeper.h"
#include "input/block_reader.h"
#include "input/data_warnings.h"
#include "report/block_results.h"
#include "report/csv_files.h"
#include "report/cumulative_flux_files.h"
#include "report/output_files.h"
#include "report/output_guard.h"
#include "report/run_record.h"
#include "report/window_flux_table.h"

namespace ecflux::driver {
namespace {

using base::Status;
using report::OutputRole;

// What the run knows of itself for its last message, whichever way it ends.
struct RunState {
  const RunListener* listener = nullptr;  // of a caller in the same process
  std::string results_file_name;          // once the configuration is read
  std::int64_t blocks = 0;                // completed so far
  std::vector<std::string> staged;
  // Files put in place when a rename failed: they hold new results.
  std::vector<std::string> replaced;
};

// A run that ends before it completes replaces nothing: its message, then
// what the user still has. Returns the exit status.
int fail(const base::Failure& failure, const RunState& state) {
  if (state.listener != nullptr && state.listener->failure) state.listener->failure(failure);
  if (const base::Interruption* interruption = failure.interruption()) {
    print_note("interrupted after " + input::with_thousands(state.blocks) +
               (state.blocks == 1 ? " block" : " blocks") + "; nothing was replaced");
    return 128 + interruption->signal;
  }
  report_failure(failure);
  const std::string folder = base::working_folder();
  if (!state.replaced.empty()) {
    std::string names;
    for (const std::string& path : state.replaced) names += (names.empty() ? "" : ", ") + path;
    print_note("the results in " + folder + " are mixed: " + names +
               (state.replaced.size() == 1 ? " is" : " are") +
               " new, the other outputs are the earlier ones; run again");
    return 1;
  }
  print_note(earlier_results_exist(state.results_file_name)
                 ? "the earlier results in " + folder + " are unchanged"
                 : folder + " held no earlier results, and none were written");
  return 1;
}

base::Interruption interruption() { return base::Interruption{base::stop_signal()}; }

// Refuses standard output or standard error that is a file of the run. The
// refusal of standard error is told on standard output, so that it does not
// go into that file too; where both are files of the run, it is not told.
Status check_standard_streams(const report::RunFileNames& names) {
  Status output = report::check_standard_stream(STDOUT_FILENO, names);
  Status error = report::check_standard_stream(STDERR_FILENO, names);
  if (error.ok()) return output;
  send_messages_to(output.ok() ? MessageStream::standard_output : MessageStream::none);
  return error;
}

// Everything the block loop works with, ready before the first block.
struct PreparedRun {
  RunInputs inputs;
  OutputFiles files;
  std::vector<base::Warning> warnings;  // found before the data are read
};

// The plane of the planar fit, from a first pass over the data that keeps
// only each complete block's mean velocity; then the data file is opened
// again for the run.
base::Result<RunPlane> plane_of_the_run(RunInputs& inputs, const input::QualityOptions& quality) {
  ECFLUX_TRY(check_readable_twice(inputs));
  const std::string data_path = base::absolute_path(inputs.config.data_file_name);
  const input::ReadSettings settings = read_settings(inputs, quality);
  const qc::QualitySettings controls = quality_settings(quality);
  input::DataWarnings unused(data_path, settings);
  std::vector<qc::MeanVelocity> means;
  const auto on_block = [&](input::Block& block, std::int64_t samples, bool complete,
                            const input::BlockFindings&) -> Status {
    if (!complete) return {};
    if (const auto mean = block_mean_for_plane(block, samples, controls)) means.push_back(*mean);
    return {};
  };
  const BlockSource source{
      [&](input::Block& block) { return input::read_block(inputs.data, settings, block); },
      [&] { return inputs.data.list.lines().line_number(); }};
  ECFLUX_TRY(read_blocks(source, unused, on_block, [](base::Warning) {}));
  auto plane = fit_run_plane(means, data_path);
  if (!plane.ok()) return plane;
  ECFLUX_TRY_VALUE(again, input::open_data_file(inputs.config.data_file_name));
  inputs.data = std::move(again);
  return plane;
}

// Reads the configuration and opens the data file, refuses what cannot give
// a good run, removes what an earlier run left half done, and only then opens
// the output files aside and writes their headers.
base::Result<PreparedRun> prepare_run(const input::CommandLine& line, RunState& state,
                                      Provenance& provenance, qc::QualitySettings& quality) {
  ECFLUX_TRY_VALUE(inputs, open_run_inputs());
  const input::Configuration& config = inputs.config;
  std::vector<base::Warning> warnings;
  state.results_file_name = config.results_file_name;
  ECFLUX_TRY(check_standard_streams(run_file_names(config)));
  provenance.record_inputs(inputs);
  quality = quality_settings(line.quality);
  if (line.quality.rotation == input::QualityOptions::Rotation::planar) {
    ECFLUX_TRY_VALUE(plane, plane_of_the_run(inputs, line.quality));
    quality.plane = plane.plane;
    provenance.record_plane(plane.plane);
    if (plane.warning) warnings.push_back(std::move(*plane.warning));
  }
  if (const auto removed = remove_leftovers(config); !removed.empty()) {
    std::string names;
    for (const std::string& path : removed) names += (names.empty() ? "" : ", ") + path;
    print_note("removed what a run that did not complete left behind: " + names);
  }

  ECFLUX_TRY_VALUE(files,
                   OutputFiles::open(config, line.csv, line.quality.spectra,
                                     state.listener == nullptr || state.listener->progress_lines));
  state.staged = files.staged_paths();
  // The first record of the window-flux table waits for the block times.
  for (const OutputRole role :
       {OutputRole::cumulative_flux, OutputRole::shifted_cumulative_flux, OutputRole::results,
        OutputRole::blocks_csv, OutputRole::window_fluxes_csv, OutputRole::cospectra_csv}) {
    if (!files.has(role)) continue;
    files[role].write_record(role == OutputRole::blocks_csv
                                 ? report::blocks_csv_header_with(quality_columns(line.quality))
                                 : std::string(report::output_file(role).header));
  }
  return PreparedRun{std::move(inputs), std::move(files), std::move(warnings)};
}

// A block's records, posted to the output thread: its rows of the two
// cumulative-flux files, its results row, its progress line, its row of the
// block table and its spectra.
void post_block(OutputQueue& output, OutputFiles& files, const report::QualityColumns& columns,
                BlockResult result) {
  output.post([&files, columns, result = std::move(result)] {
    report::write_series_rows(files[OutputRole::cumulative_flux], *result.cumflux);
    report::write_series_rows(files[OutputRole::shifted_cumulative_flux], *result.cfshift);
    if (files.has(OutputRole::standard_output)) {
      report::write_block_results(result.report, files[OutputRole::results],
                                  files[OutputRole::standard_output]);
    } else {
      report::write_results_row(result.report, files[OutputRole::results]);
    }
    if (files.has(OutputRole::blocks_csv)) {
      report::write_block_row(files[OutputRole::blocks_csv], result.report, result.facts, columns);
    }
    if (files.has(OutputRole::cospectra_csv)) {
      report::write_spectrum_rows(files[OutputRole::cospectra_csv], result.facts.index,
                                  result.spectrum);
    }
    return files.first_failure();
  });
}

bool stop_requested() { return base::stop_requested(); }

// How long an interrupted run waits for the output thread to finish the
// record it writes; past it, the thread is blocked (a pipe nobody reads).
constexpr auto output_grace = std::chrono::milliseconds(500);

// The block loop, the window-flux table, the record of the run, and the
// files put in place. Returns the exit status.
int process_blocks(PreparedRun& run, const input::CommandLine& line, RunState& state,
                   Provenance& provenance, const qc::QualitySettings& quality) {
  RunInputs& inputs = run.inputs;
  // Declared after the files, so that both have finished with them before
  // they are closed, also when the run ends early.
  OutputQueue output(2);
  flux::SweepOptions sweep_options = flux::default_sweep_options();
  sweep_options.stop = stop_requested;
  BlockPipeline pipeline(inputs.sizes, sweep_options, pipeline_options(line.quality));
  // A stop signal ends the run wherever it waits: the staged files go, and
  // the output thread is given a moment to finish its records. One blocked
  // on a pipe nobody reads cannot be waited for: the process ends without it.
  const auto interrupted = [&] {
    for (const std::string& path : state.staged) ::unlink(path.c_str());
    const int status = fail(interruption(), state);
    // A caller in the same process writes no progress lines, which alone
    // can block the output thread.
    if (!output.cancel(output_grace) && state.listener == nullptr) std::_Exit(status);
    return status;
  };

  std::vector<int> quality_flags;
  std::vector<base::Warning> found;
  const input::ReadSettings settings = read_settings(inputs, line.quality);
  input::DataWarnings warnings(base::absolute_path(inputs.config.data_file_name), settings);
  const report::QualityColumns columns = quality_columns(line.quality);
  const RunListener* listener = state.listener;
  const auto on_warning = [&found, listener](base::Warning warning) {
    if (listener != nullptr && listener->warning) listener->warning(warning);
    print_warning(warning);
    found.push_back(std::move(warning));
  };
  for (base::Warning& warning : run.warnings) on_warning(std::move(warning));
  const auto on_block = [&](input::Block& block, std::int64_t samples, bool complete,
                            const input::BlockFindings& findings) -> Status {
    if (!complete) return {};
    // The steady-state test judges the samples the fluxes are made of.
    std::optional<qc::BlockQuality> controlled;
    if (line.quality.changes_samples()) controlled = qc::control_block(block, samples, quality);
    report::BlockFacts facts = block_facts(block, inputs.sizes, state.blocks + 1, findings,
                                           warnings.seconds_per_time_unit());
    if (controlled) apply_block_quality(*controlled, facts);
    BlockResult result = pipeline.process(block, facts);
    if (listener != nullptr && listener->block) listener->block(result);
    quality_flags.push_back(result.quality_flag);
    post_block(output, run.files, columns, std::move(result));
    if (stop_requested()) return interruption();
    ++state.blocks;
    return output.status();
  };
  auto read = read_data(inputs, settings, warnings, on_block, on_warning);
  if (!read.ok()) {
    if (read.failure().interruption()) return interrupted();
    return fail(read.failure(), state);
  }
  const DataSummary& summary = read.value();

  if (summary.blocks == 0) {
    return fail(base::Refusal{"nothing to write: " +
                              warnings.no_block_reason(inputs.data.counts, summary.end)},
                state);
  }
  if (line.strict && !found.empty()) {
    return fail(
        base::Refusal{"--strict: the run gave " +
                      input::with_thousands(static_cast<std::int64_t>(found.size())) +
                      (found.size() == 1 ? " warning" : " warnings") + "; nothing was replaced"},
        state);
  }
  if (!output.drain()) return interrupted();
  if (auto written = output.status(); !written.ok()) return fail(written.failure(), state);
  const std::optional<flux::WindowFluxTable> table = pipeline.finish();
  if (!table) return interrupted();
  if (listener != nullptr && listener->window_table) {
    listener->window_table(*table, pipeline.block_mean_times(), inputs.sizes);
  }
  report::write_spectra_table(run.files[OutputRole::window_flux_table], pipeline.block_mean_times(),
                              *table, inputs.sizes.sample_rate);
  if (run.files.has(OutputRole::window_fluxes_csv)) {
    report::write_window_fluxes(run.files[OutputRole::window_fluxes_csv],
                                pipeline.block_mean_times(), *table, inputs.sizes.sample_rate,
                                {line.quality.density, line.quality.heat_capacity});
  }
  provenance.record_end(inputs, summary, warnings, std::move(quality_flags), std::move(found));
  run.files[OutputRole::run_record].write_text(report::run_record_json(provenance.record()));
  if (auto finished = run.files.finish(line.durable); !finished.ok()) {
    return fail(finished.failure(), state);
  }
  if (stop_requested()) return interrupted();
  if (auto placed = run.files.put_in_place(line.durable, state.replaced); !placed.ok()) {
    return fail(placed.failure(), state);
  }
  remove_stale_csv_files(line.csv, line.quality.spectra);
  return 0;
}

// The whole run in the run folder, which is the working directory.
int run_in_folder(const input::CommandLine& line, RunState& state) {
  auto lock = base::lock_folder_for_writing();
  if (!lock.ok()) return fail(lock.failure(), state);
  // Messages must not go into a file of the run: standard error is checked
  // against the names the run always has before anything is read.
  if (auto clear = check_standard_streams({"", input::configuration_file_name, ""}); !clear.ok()) {
    return fail(clear.failure(), state);
  }
  Provenance provenance(line);
  qc::QualitySettings quality;
  auto prepared = prepare_run(line, state, provenance, quality);
  if (!prepared.ok()) return fail(prepared.failure(), state);
  return process_blocks(prepared.value(), line, state, provenance, quality);
}

}  // namespace

int run(const input::CommandLine& line, const RunListener* listener) {
  std::optional<MessagesTaken> taken;
  if (listener != nullptr && listener->message) taken.emplace(listener->message);
  if (!line.run_folder.empty()) {
    if (auto entered = input::enter_run_folder(line.run_folder); !entered.ok()) {
      if (listener != nullptr && listener->failure) listener->failure(entered.failure());
      return report_failure(entered.failure());
    }
  }
  if (line.check) return check_run(line);
  if (listener == nullptr) base::catch_stop_signals();
  // Declared before the run's files, so that it outlasts them: when a lack
  // of memory unwinds the run, its staged files are gone before the message.
  RunState state;
  state.listener = listener;
  try {
    return run_in_folder(line, state);
  } catch (const std::bad_alloc&) {
    return fail(base::ResourceFailure{"out of memory"}, state);
  } catch (const std::exception& failure) {
    // Any other resource the system refused (a thread, a lock).
    return fail(base::ResourceFailure{failure.what()}, state);
  }
}

}  // namespace ecflux::driver
