#include "driver/run.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "driver/check.h"
#include "driver/messages.h"
#include "driver/output_queue.h"
#include "driver/provenance.h"
#include "driver/run_inputs.h"
#include "driver/run_outputs.h"
#include "flux/shifted_cumulative_flux.h"
#include "flux/time_shifts.h"
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
#include "stats/block_statistics.h"
#include "stats/cumulative_flux.h"
#include "stats/steady_state.h"
#include "textio/file_paths.h"
#include "textio/folder_lock.h"
#include "textio/stop_signals.h"

namespace ecflux::driver {
namespace {

using report::OutputRole;
using textio::Status;

// What the blocks work with. The block's buffers grow as samples arrive; the
// rest is made when the first block is complete, so that a run that never
// fills one does not hold it.
struct BlockStorage {
  stats::BlockStatistics statistics;
  stats::FluctuationSeries series;
  flux::ShiftTables shift_tables;

  void make_room(const input::BlockSizes& sizes) {
    if (!series.w_dev_run.empty()) return;
    statistics = stats::make_block_statistics(sizes.block_samples);
    series = stats::make_fluctuation_series(sizes.block_samples);
    shift_tables = flux::make_shift_tables(sizes);
  }
};

// What the run knows of itself for its last message, whichever way it ends.
struct RunState {
  std::string results_file_name;  // once the configuration is read
  std::int64_t blocks = 0;        // completed so far
  std::vector<std::string> staged;
};

// A run that ends before it completes replaces nothing: its message, then
// what the user still has. Returns the exit status.
int fail(const textio::Failure& failure, const RunState& state) {
  if (const textio::Interruption* interruption = failure.interruption()) {
    print_line("ecflux: interrupted after " + input::with_thousands(state.blocks) +
               (state.blocks == 1 ? " block" : " blocks") + "; nothing was replaced");
    return 128 + interruption->signal;
  }
  report_failure(failure);
  const std::string folder = textio::working_folder();
  print_line(earlier_results_exist(state.results_file_name)
                 ? "ecflux: the earlier results in " + folder + " are unchanged"
                 : "ecflux: " + folder + " held no earlier results, and none were written");
  return 1;
}

textio::Interruption interruption() { return textio::Interruption{textio::stop_signal()}; }

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
  BlockStorage storage;
  OutputFiles files;
};

// Reads the configuration and opens the data file, refuses what cannot give
// a good run, removes what an earlier run left half done, and only then opens
// the output files aside and writes their headers.
textio::Result<PreparedRun> prepare_run(const input::CommandLine& line, RunState& state,
                                        Provenance& provenance) {
  auto inputs = open_run_inputs();
  if (!inputs.ok()) return std::move(inputs.failure());
  const input::Configuration& config = inputs.value().config;
  state.results_file_name = config.results_file_name;
  if (auto clear = check_standard_streams(run_file_names(config)); !clear.ok()) {
    return std::move(clear.failure());
  }
  provenance.record_inputs(inputs.value());
  if (const auto removed = remove_leftovers(config); !removed.empty()) {
    std::string names;
    for (const std::string& path : removed) names += (names.empty() ? "" : ", ") + path;
    print_line("ecflux: removed what a run that did not complete left behind: " + names);
  }

  auto files = OutputFiles::open(config, line.csv);
  if (!files.ok()) return std::move(files.failure());
  state.staged = files.value().staged_paths();
  // The first record of the window-flux table waits for the block times.
  for (const OutputRole role :
       {OutputRole::cumulative_flux, OutputRole::shifted_cumulative_flux, OutputRole::results,
        OutputRole::blocks_csv, OutputRole::window_fluxes_csv}) {
    if (files.value().has(role)) {
      files.value()[role].write_record(report::output_file(role).header);
    }
  }
  return PreparedRun{std::move(inputs.value()), BlockStorage{}, std::move(files.value())};
}

// What lasts from one block to the next.
struct RunTotals {
  double cumulative_flux = 0.0;
  double shift_cum_flux = 0.0;
  std::vector<double> block_mean_time;
  std::vector<int> quality_flags;  // one per block
};

// A block's rows of the two cumulative-flux files, on their way to the files.
struct BlockRows {
  stats::SeriesRows cumflux;
  stats::SeriesRows cfshift;
};

// What the block table and the block's flag tell beyond its results row,
// but for the delay-corrected fluxes, which the delay search gives.
report::BlockFacts block_facts(const input::Block& block, const input::BlockSizes& sizes,
                               std::int64_t index, const input::BlockFindings& findings,
                               double seconds_per_time_unit) {
  const auto n = static_cast<std::size_t>(sizes.block_samples);
  report::BlockFacts facts;
  facts.index = index;
  facts.first_line = block.sample_line[0];
  facts.last_line = block.sample_line[n - 1];
  facts.samples = sizes.block_samples;
  facts.steady_state_difference_percent =
      stats::steady_state_difference(block, sizes.block_samples);
  facts.time_step_max_s = findings.largest_step * seconds_per_time_unit;
  facts.implausible_values = findings.implausible_values;
  facts.uneven_steps = findings.uneven_steps;
  facts.values_unread = findings.values_unread;
  return facts;
}

// The steps of one complete block, in their order. The block's records are
// handed to the output thread and its window sweep to the sweeper, so the
// next block can be read while they are done. Returns the block's quality
// flag.
int process_block(const input::Block& block, const input::BlockSizes& sizes, BlockStorage& storage,
                  RunTotals& totals, flux::WindowSweeper& sweeper, OutputQueue& output,
                  OutputFiles& files, report::BlockFacts facts) {
  storage.make_room(sizes);
  auto& [statistics, series, shift_tables] = storage;
  stats::compute_block_statistics(block, sizes, statistics, totals.block_mean_time);
  auto rows = std::make_shared<BlockRows>();
  const stats::ZeroShiftFluxes zero_shift = stats::build_cumulative_flux(
      block, sizes, statistics, series, totals.cumulative_flux, rows->cumflux);
  const flux::ShiftSearch search =
      flux::search_time_shifts(series, sizes, zero_shift, shift_tables);
  flux::write_shifted_cumulative_flux(block, sizes, series, search.shift_index_run_min,
                                      totals.shift_cum_flux, rows->cfshift);
  facts.linear = flux::delay_corrected_linear(search);
  facts.running = flux::delay_corrected_running(search);
  const auto n = static_cast<std::size_t>(sizes.block_samples);
  sweeper.add_block(std::span(block.w).first(n), std::span(block.temperature).first(n));
  output.post(
      [&files, rows, facts, report = report::make_block_report(statistics, zero_shift, search)] {
        report::write_series_rows(files[OutputRole::cumulative_flux], rows->cumflux);
        report::write_series_rows(files[OutputRole::shifted_cumulative_flux], rows->cfshift);
        report::write_block_results(report, files[OutputRole::results],
                                    files[OutputRole::standard_output]);
        if (files.has(OutputRole::blocks_csv)) {
          report::write_block_row(files[OutputRole::blocks_csv], report, facts);
        }
        return files.first_failure();
      });
  return report::quality_flag(facts);
}

bool stop_requested() { return textio::stop_requested(); }

// How long an interrupted run waits for the output thread to finish the
// record it writes; past it, the thread is blocked (a pipe nobody reads).
constexpr auto output_grace = std::chrono::milliseconds(500);

// The block loop, the window-flux table, the record of the run, and the
// files put in place. Returns the exit status.
int process_blocks(PreparedRun& run, const input::CommandLine& line, RunState& state,
                   Provenance& provenance) {
  RunInputs& inputs = run.inputs;
  // Declared after the files, so that both have finished with them before
  // they are closed, also when the run ends early.
  OutputQueue output(2);
  flux::SweepOptions sweep_options = flux::default_sweep_options();
  sweep_options.stop = stop_requested;
  flux::WindowSweeper sweeper(inputs.sizes, sweep_options);
  // A stop signal ends the run wherever it waits: the staged files go, and
  // the output thread is given a moment to finish its records. One blocked
  // on a pipe nobody reads cannot be waited for: the process ends without it.
  const auto interrupted = [&] {
    for (const std::string& path : state.staged) ::unlink(path.c_str());
    const int status = fail(interruption(), state);
    if (!output.cancel(output_grace)) std::_Exit(status);
    return status;
  };

  RunTotals totals;
  std::vector<textio::Warning> found;
  input::DataWarnings warnings(textio::absolute_path(inputs.config.data_file_name),
                               read_settings(inputs));
  const auto on_warning = [&found](textio::Warning warning) {
    print_warning(warning);
    found.push_back(std::move(warning));
  };
  const auto on_block = [&](const input::Block& block, std::int64_t, bool complete,
                            const input::BlockFindings& findings) -> Status {
    if (!complete) return {};
    const report::BlockFacts facts = block_facts(block, inputs.sizes, state.blocks + 1, findings,
                                                 warnings.seconds_per_time_unit());
    totals.quality_flags.push_back(
        process_block(block, inputs.sizes, run.storage, totals, sweeper, output, run.files, facts));
    if (stop_requested()) return interruption();
    ++state.blocks;
    return output.status();
  };
  auto read = read_data(inputs, warnings, on_block, on_warning);
  if (!read.ok()) {
    if (read.failure().interruption()) return interrupted();
    return fail(read.failure(), state);
  }
  const DataSummary& summary = read.value();

  if (summary.blocks == 0) {
    return fail(textio::Refusal{"nothing to write: " +
                                warnings.no_block_reason(inputs.data.counts, summary.end)},
                state);
  }
  if (line.strict && !found.empty()) {
    return fail(
        textio::Refusal{"--strict: the run gave " +
                        input::with_thousands(static_cast<std::int64_t>(found.size())) +
                        (found.size() == 1 ? " warning" : " warnings") + "; nothing was replaced"},
        state);
  }
  if (!output.drain()) return interrupted();
  if (auto written = output.status(); !written.ok()) return fail(written.failure(), state);
  const std::optional<flux::WindowFluxTable> table = sweeper.finish();
  if (!table) return interrupted();
  report::write_spectra_table(run.files[OutputRole::window_flux_table], totals.block_mean_time,
                              *table, inputs.sizes.sample_rate);
  if (run.files.has(OutputRole::window_fluxes_csv)) {
    report::write_window_fluxes(run.files[OutputRole::window_fluxes_csv], totals.block_mean_time,
                                *table, inputs.sizes.sample_rate);
  }
  provenance.record_end(inputs, summary, warnings, std::move(totals.quality_flags),
                        std::move(found));
  run.files[OutputRole::run_record].write_text(report::run_record_json(provenance.record()));
  if (auto finished = run.files.finish(line.durable); !finished.ok()) {
    return fail(finished.failure(), state);
  }
  if (stop_requested()) return interrupted();
  if (auto placed = run.files.put_in_place(line.durable); !placed.ok()) {
    return fail(placed.failure(), state);
  }
  if (!line.csv) remove_stale_csv_files();
  return 0;
}

// The whole run in the run folder, which is the working directory.
int run_in_folder(const input::CommandLine& line, RunState& state) {
  auto lock = textio::lock_folder_for_writing();
  if (!lock.ok()) return fail(lock.failure(), state);
  // Messages must not go into a file of the run: standard error is checked
  // against the names the run always has before anything is read.
  if (auto clear = check_standard_streams({"", input::configuration_file_name, ""}); !clear.ok()) {
    return fail(clear.failure(), state);
  }
  Provenance provenance(line);
  auto prepared = prepare_run(line, state, provenance);
  if (!prepared.ok()) return fail(prepared.failure(), state);
  return process_blocks(prepared.value(), line, state, provenance);
}

}  // namespace

int run(const input::CommandLine& line) {
  if (!line.run_folder.empty()) {
    if (auto entered = input::enter_run_folder(line.run_folder); !entered.ok()) {
      return report_failure(entered.failure());
    }
  }
  if (line.check) return check_run(line);
  textio::catch_stop_signals();
  // Declared before the run's files, so that it outlasts them: when a lack
  // of memory unwinds the run, its staged files are gone before the message.
  RunState state;
  try {
    return run_in_folder(line, state);
  } catch (const std::bad_alloc&) {
    return fail(textio::ResourceFailure{"out of memory"}, state);
  } catch (const std::exception& failure) {
    // Any other resource the system refused (a thread, a lock).
    return fail(textio::ResourceFailure{failure.what()}, state);
  }
}

}  // namespace ecflux::driver
