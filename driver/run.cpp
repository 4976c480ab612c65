#include "driver/run.h"

#include <algorithm>
#include <array>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "driver/check.h"
#include "driver/file_guard.h"
#include "driver/interruption.h"
#include "driver/messages.h"
#include "driver/output_queue.h"
#include "driver/run_inputs.h"
#include "flux/shifted_cumulative_flux.h"
#include "flux/time_shifts.h"
#include "flux/window_sweeper.h"
#include "input/block_reader.h"
#include "input/data_warnings.h"
#include "report/block_results.h"
#include "report/csv_files.h"
#include "report/cumulative_flux_files.h"
#include "report/output_files.h"
#include "report/window_flux_table.h"
#include "stats/block_statistics.h"
#include "stats/cumulative_flux.h"
#include "stats/steady_state.h"
#include "textio/output_file.h"

namespace ecflux::driver {
namespace {

using report::OutputRole;
using textio::OutputFile;
using textio::Status;

// What the blocks work with. The block's buffers grow as samples arrive; the
// rest is made when the first block is complete, so that a run that never
// fills one does not hold it.
struct BlockStorage {
  input::Block block;
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

// The table's files in the order in which records reach them.
constexpr std::array<OutputRole, report::output_files.size()> write_order = [] {
  std::array<const report::OutputFileInfo*, report::output_files.size()> files{};
  for (std::size_t i = 0; i < files.size(); ++i) files[i] = &report::output_files[i];
  std::sort(files.begin(), files.end(),
            [](const auto* a, const auto* b) { return a->write_order < b->write_order; });
  std::array<OutputRole, report::output_files.size()> roles{};
  for (std::size_t i = 0; i < roles.size(); ++i) roles[i] = files[i]->role;
  return roles;
}();

// The run's output files, standard output among them, by role; the CSV
// files only with --csv.
class OutputFiles {
 public:
  // Creates the files in the order of the table. Every file is opened before
  // any is emptied: when one cannot be created, the failure is that of the
  // first file in the table's order that fails, and the files of an earlier
  // run are left as they were (a file this run created is taken away again).
  static textio::Result<OutputFiles> create(const input::Configuration& config, bool csv) {
    OutputFiles created;
    for (const report::OutputFileInfo& file : report::output_files) {
      auto& slot = created.files_.emplace_back();
      if (file.csv && !csv) continue;
      if (file.role == OutputRole::standard_output) {
        slot = OutputFile::standard_output();
        continue;
      }
      auto opened = OutputFile::open_for_replacement(
          report::output_name(file, config.results_file_name), file.unit);
      if (!opened.ok()) {
        for (auto& earlier : created.files_) {
          if (earlier) earlier->discard();
        }
        return std::move(opened.failure());
      }
      slot = std::move(opened.value());
    }
    for (auto& file : created.files_) {
      if (!file) continue;
      if (auto replaced = file->replace(); !replaced.ok()) return std::move(replaced.failure());
    }
    return created;
  }

  bool has(OutputRole role) const { return files_[report::table_index(role)].has_value(); }
  OutputFile& operator[](OutputRole role) { return *files_[report::table_index(role)]; }

  // The first failure in the order in which the files are written.
  Status first_failure() const {
    for (const OutputRole role : write_order) {
      const auto& file = files_[report::table_index(role)];
      if (!file) continue;
      Status status = file->status();
      if (!status.ok()) return status;
    }
    return {};
  }

  void close_all() {
    for (auto& file : files_) {
      if (file) file->close();
    }
  }

 private:
  std::vector<std::optional<OutputFile>> files_;  // in the order of the table
};

// Everything the block loop works with, ready before the first block.
struct PreparedRun {
  RunInputs inputs;
  RunLock lock;
  BlockStorage storage;
  OutputFiles files;
};

// Reads the configuration, takes the run folder's lock and opens the data
// file, then refuses what cannot give a good run, and only then creates the
// output files and writes their headers: a run that fails before that leaves
// every file as it was.
textio::Result<PreparedRun> prepare_run(bool csv) {
  RunLock lock;
  auto inputs = open_run_inputs(&lock, csv);
  if (!inputs.ok()) return std::move(inputs.failure());
  inputs.value().data.list.lines().stop_reading_when(stop_signal());

  auto files = OutputFiles::create(inputs.value().config, csv);
  if (!files.ok()) return std::move(files.failure());
  // The first record of the window-flux table waits for the block times.
  for (const OutputRole role :
       {OutputRole::cumulative_flux, OutputRole::shifted_cumulative_flux, OutputRole::results,
        OutputRole::blocks_csv, OutputRole::window_fluxes_csv}) {
    if (files.value().has(role)) {
      files.value()[role].write_record(report::output_file(role).header);
    }
  }
  return PreparedRun{std::move(inputs.value()), std::move(lock), BlockStorage{},
                     std::move(files.value())};
}

// What lasts from one block to the next.
struct RunTotals {
  double cumulative_flux = 0.0;
  double shift_cum_flux = 0.0;
  std::vector<double> block_mean_time;
};

// A block's rows of the two cumulative-flux files, on their way to the files.
struct BlockRows {
  stats::SeriesRows cumflux;
  stats::SeriesRows cfshift;
};

// What the block table tells of a block beyond its results row.
report::BlockFacts block_facts(const input::Block& block, const input::BlockSizes& sizes,
                               std::int64_t index, double seconds_per_time_unit) {
  const auto n = static_cast<std::size_t>(sizes.block_samples);
  double largest_step = 0.0;
  for (std::size_t k = 1; k < n; ++k) {
    largest_step = std::max(largest_step, block.sample_time[k] - block.sample_time[k - 1]);
  }
  return {index,
          block.sample_line[0],
          block.sample_line[n - 1],
          sizes.block_samples,
          stats::steady_state_difference(block, sizes.block_samples),
          largest_step * seconds_per_time_unit,
          block.checks.implausible.count};
}

// The steps of one complete block, in their order. The block's records are
// handed to the output thread and its window sweep to the sweeper, so the
// next block can be read while they are done. `facts`, with --csv, gives the
// block's row of the block table.
void process_block(const input::BlockSizes& sizes, BlockStorage& storage, RunTotals& totals,
                   flux::WindowSweeper& sweeper, OutputQueue& output, OutputFiles& files,
                   std::optional<report::BlockFacts> facts) {
  storage.make_room(sizes);
  auto& [block, statistics, series, shift_tables] = storage;
  stats::compute_block_statistics(block, sizes, statistics, totals.block_mean_time);
  auto rows = std::make_shared<BlockRows>();
  const stats::ZeroShiftFluxes zero_shift = stats::build_cumulative_flux(
      block, sizes, statistics, series, totals.cumulative_flux, rows->cumflux);
  const flux::ShiftSearch search =
      flux::search_time_shifts(series, sizes, zero_shift, shift_tables);
  flux::write_shifted_cumulative_flux(block, sizes, series, search.shift_index_run_min,
                                      totals.shift_cum_flux, rows->cfshift);
  const auto n = static_cast<std::size_t>(sizes.block_samples);
  sweeper.add_block(std::span(block.w).first(n), std::span(block.temperature).first(n));
  output.post(
      [&files, rows, facts, report = report::make_block_report(statistics, zero_shift, search)] {
        report::write_series_rows(files[OutputRole::cumulative_flux], rows->cumflux);
        report::write_series_rows(files[OutputRole::shifted_cumulative_flux], rows->cfshift);
        report::write_block_results(report, files[OutputRole::results],
                                    files[OutputRole::standard_output]);
        if (facts) report::write_block_row(files[OutputRole::blocks_csv], report, *facts);
        return files.first_failure();
      });
}

void print_lines(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) print_line(line);
}

// The block loop, then the window-flux table. Returns the exit status.
int process_blocks(PreparedRun& run) {
  const RunInputs& inputs = run.inputs;
  // Declared after the files, so that both have finished with them before
  // they are closed, also when the run ends early.
  OutputQueue output(2);
  flux::WindowSweeper sweeper(inputs.sizes, flux::default_sweep_options());
  RunTotals totals;
  const input::ReadSettings settings = read_settings(inputs, stop_signal());
  input::DataWarnings warnings(textio::absolute_path(inputs.config.data_file_name), settings);
  std::int64_t blocks = 0;
  input::InputEnd end;
  for (;;) {
    auto outcome = input::read_block(run.inputs.data, settings, run.storage.block);
    if (!outcome.ok()) return report_failure(outcome.failure());
    const input::BlockStatus status = outcome.value().status;
    const bool complete = status == input::BlockStatus::complete;
    print_lines(
        warnings.add_block(run.storage.block, outcome.value().samples, blocks + 1, complete));
    if (status == input::BlockStatus::unreadable_record) {
      print_line(warnings.unreadable_value(outcome.value().line));
    }
    if (!complete) {
      end = {status, outcome.value().ending_time, outcome.value().samples};
      break;
    }
    std::optional<report::BlockFacts> facts;
    if (run.files.has(OutputRole::blocks_csv)) {
      facts = block_facts(run.storage.block, inputs.sizes, blocks + 1,
                          warnings.seconds_per_time_unit());
    }
    process_block(inputs.sizes, run.storage, totals, sweeper, output, run.files, facts);
    ++blocks;
    if (auto written = output.status(); !written.ok()) return report_failure(written.failure());
  }

  // A stop signal may also have ended the input by interrupting a read.
  if (*stop_signal() != 0) end.status = input::BlockStatus::interrupted;
  output.drain();
  if (auto written = output.status(); !written.ok()) return report_failure(written.failure());
  const flux::WindowFluxTable table = sweeper.finish();
  report::write_spectra_table(run.files[OutputRole::window_flux_table], totals.block_mean_time,
                              table, inputs.sizes.sample_rate);
  if (run.files.has(OutputRole::window_fluxes_csv)) {
    report::write_window_fluxes(run.files[OutputRole::window_fluxes_csv], totals.block_mean_time,
                                table, inputs.sizes.sample_rate);
  }
  run.files.close_all();
  if (auto closed = run.files.first_failure(); !closed.ok()) {
    return report_failure(closed.failure());
  }
  if (end.status == input::BlockStatus::interrupted) {
    print_line("ecflux: interrupted; the files hold the first " + input::with_thousands(blocks) +
               (blocks == 1 ? " block" : " blocks"));
    return 128 + *stop_signal();
  }
  print_lines(warnings.finish(blocks, inputs.data.counts, end));
  return 0;
}

}  // namespace

int run(const input::CommandLine& line) {
  if (!line.run_folder.empty()) {
    if (auto entered = input::enter_run_folder(line.run_folder); !entered.ok()) {
      return report_failure(entered.failure());
    }
  }
  try {
    if (line.check) return check_run();
    catch_stop_signals();
    auto prepared = prepare_run(line.csv);
    if (!prepared.ok()) return report_failure(prepared.failure());
    return process_blocks(prepared.value());
  } catch (const std::bad_alloc&) {
    print_line("ecflux: out of memory; the records written so far are kept");
    return 1;
  } catch (const std::exception& failure) {
    // Any other resource the system refused (a thread, a lock).
    print_line("ecflux: " + std::string(failure.what()) + "; the records written so far are kept");
    return 1;
  }
}

}  // namespace ecflux::driver
