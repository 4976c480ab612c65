#include "driver/run.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "driver/check.h"
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
#include "report/output_guard.h"
#include "report/window_flux_table.h"
#include "stats/block_statistics.h"
#include "stats/cumulative_flux.h"
#include "stats/steady_state.h"
#include "textio/file_paths.h"
#include "textio/folder_lock.h"
#include "textio/output_file.h"
#include "textio/stop_signals.h"

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
// files only with --csv. Each file but standard output is written aside
// and replaces the earlier run's file only when the whole run is done.
class OutputFiles {
 public:
  // Opens the files in the order of the table; the first that cannot be
  // opened is the failure, and the files opened before it are abandoned.
  static textio::Result<OutputFiles> open(const input::Configuration& config, bool csv) {
    OutputFiles opened;
    for (const report::OutputFileInfo& file : report::output_files) {
      auto& slot = opened.files_.emplace_back();
      if (!report::written_by_run(file, csv)) continue;
      if (file.role == OutputRole::standard_output) {
        slot = OutputFile::standard_output();
        continue;
      }
      auto staged =
          OutputFile::open_staged(report::output_name(file, config.results_file_name), file.unit);
      if (!staged.ok()) return std::move(staged.failure());
      slot = std::move(staged.value());
    }
    return opened;
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

  // Writes out and closes every file, with `durable` on the device; the
  // first failure in the order of writing.
  Status finish(bool durable) {
    for (auto& file : files_) {
      if (file) file->finish(durable).ok();
    }
    return first_failure();
  }

  // Puts every staged file in place of the earlier run's file, in the order
  // of the table; with `durable`, the folders' entries too.
  Status put_in_place(bool durable) {
    std::set<std::string> folders;
    for (auto& file : files_) {
      if (!file || file->staged_path().empty()) continue;
      const std::string staged = file->staged_path();
      if (auto placed = file->put_in_place(); !placed.ok()) return placed;
      folders.insert(staged.substr(0, staged.rfind('/') + 1));
    }
    if (durable) {
      for (const std::string& folder : folders) sync_folder(folder);
    }
    return {};
  }

  // The staged files, for a run that must end without closing its files.
  std::vector<std::string> staged_paths() const {
    std::vector<std::string> paths;
    for (const auto& file : files_) {
      if (file && !file->staged_path().empty()) paths.push_back(file->staged_path());
    }
    return paths;
  }

 private:
  static void sync_folder(const std::string& folder) {
    const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) return;
    [[maybe_unused]] const int synced = ::fsync(descriptor);
    ::close(descriptor);
  }

  std::vector<std::optional<OutputFile>> files_;  // in the order of the table
};

// What the run knows of itself for its last message, whichever way it ends.
struct RunRecord {
  std::string results_file_name;  // once the configuration is read
  std::int64_t blocks = 0;        // completed so far
  std::vector<std::string> staged;
};

// Whether the folder holds any file of an earlier run: the failure's last
// line tells the user what they still have. Staged files never touch these,
// so they are as they were before the run.
bool earlier_results_exist(const RunRecord& record) {
  for (const report::OutputFileInfo& file : report::output_files) {
    if (file.written_by == report::WrittenBy::plot || file.role == OutputRole::standard_output) {
      continue;
    }
    const std::string name(report::output_name(file, record.results_file_name));
    struct stat status {};
    if (!name.empty() && ::stat(name.c_str(), &status) == 0 && S_ISREG(status.st_mode)) {
      return true;
    }
  }
  return false;
}

// A run that ends before it completes replaces nothing: its message, then
// what the user still has. Returns the exit status.
int fail(const textio::Failure& failure, const RunRecord& record) {
  if (const textio::Interruption* interruption = failure.interruption()) {
    print_line("ecflux: interrupted after " + input::with_thousands(record.blocks) +
               (record.blocks == 1 ? " block" : " blocks") + "; nothing was replaced");
    return 128 + interruption->signal;
  }
  report_failure(failure);
  const std::string folder = textio::working_folder();
  print_line(earlier_results_exist(record)
                 ? "ecflux: the earlier results in " + folder + " are unchanged"
                 : "ecflux: " + folder + " held no earlier results, and none were written");
  return 1;
}

textio::Interruption interruption() { return textio::Interruption{textio::stop_signal()}; }

void remove_leftovers(const input::Configuration& config) {
  const std::vector<std::string> leftovers = leftover_staged_files(config);
  if (leftovers.empty()) return;
  std::string names;
  for (const std::string& path : leftovers) {
    ::unlink(path.c_str());
    names += (names.empty() ? "" : ", ") + path;
  }
  print_line("ecflux: removed what a run that did not complete left behind: " + names);
}

// CSV files of an earlier run that this run did not write describe other
// results: once this run's files are in place, they go.
void remove_stale_csv_files(bool csv) {
  if (csv) return;
  for (const report::OutputFileInfo& file : report::output_files) {
    if (file.written_by != report::WrittenBy::csv_run) continue;
    const std::string name(file.fixed_name);
    struct stat status {};
    if (::lstat(name.c_str(), &status) == 0 && S_ISREG(status.st_mode)) ::unlink(name.c_str());
  }
}

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
textio::Result<PreparedRun> prepare_run(bool csv, RunRecord& record) {
  auto inputs = open_run_inputs();
  if (!inputs.ok()) return std::move(inputs.failure());
  const input::Configuration& config = inputs.value().config;
  record.results_file_name = config.results_file_name;
  if (auto clear = check_standard_streams(run_file_names(config)); !clear.ok()) {
    return std::move(clear.failure());
  }
  remove_leftovers(config);

  auto files = OutputFiles::open(config, csv);
  if (!files.ok()) return std::move(files.failure());
  record.staged = files.value().staged_paths();
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

bool stop_requested() { return textio::stop_requested(); }

// How long an interrupted run waits for the output thread to finish the
// record it writes; past it, the thread is blocked (a pipe nobody reads).
constexpr auto output_grace = std::chrono::milliseconds(500);

// The block loop, the window-flux table, and the files put in place.
// Returns the exit status.
int process_blocks(PreparedRun& run, const input::CommandLine& line, RunRecord& record) {
  const RunInputs& inputs = run.inputs;
  // Declared after the files, so that both have finished with them before
  // they are closed, also when the run ends early.
  OutputQueue output(2);
  flux::SweepOptions sweep_options = flux::default_sweep_options();
  sweep_options.stop = stop_requested;
  flux::WindowSweeper sweeper(inputs.sizes, sweep_options);
  // A stop signal ends the run wherever it waits: the staged files go, and
  // the output thread is given a moment to finish its record. One blocked on
  // a pipe nobody reads cannot be waited for: the process ends without it.
  const auto interrupted = [&] {
    for (const std::string& path : record.staged) ::unlink(path.c_str());
    const int status = fail(interruption(), record);
    if (!output.cancel(output_grace)) std::_Exit(status);
    return status;
  };

  RunTotals totals;
  const input::ReadSettings settings = read_settings(inputs);
  input::DataWarnings warnings(textio::absolute_path(inputs.config.data_file_name), settings);
  input::InputEnd end;
  for (;;) {
    auto outcome = input::read_block(run.inputs.data, settings, run.storage.block);
    if (!outcome.ok()) {
      if (outcome.failure().interruption()) return interrupted();
      return fail(outcome.failure(), record);
    }
    const input::BlockStatus status = outcome.value().status;
    const bool complete = status == input::BlockStatus::complete;
    print_lines(warnings.add_block(run.storage.block, outcome.value().samples, record.blocks + 1,
                                   complete));
    if (status == input::BlockStatus::unreadable_record) {
      print_line(warnings.unreadable_value(outcome.value().line));
    }
    if (!complete) {
      end = {status, outcome.value().ending_time, outcome.value().samples};
      break;
    }
    std::optional<report::BlockFacts> facts;
    if (run.files.has(OutputRole::blocks_csv)) {
      facts = block_facts(run.storage.block, inputs.sizes, record.blocks + 1,
                          warnings.seconds_per_time_unit());
    }
    process_block(inputs.sizes, run.storage, totals, sweeper, output, run.files, facts);
    if (stop_requested()) return interrupted();
    ++record.blocks;
    if (auto written = output.status(); !written.ok()) return fail(written.failure(), record);
  }

  if (record.blocks == 0) {
    return fail(
        textio::Refusal{"nothing to write: " + warnings.no_block_reason(inputs.data.counts, end)},
        record);
  }
  if (!output.drain()) return interrupted();
  if (auto written = output.status(); !written.ok()) return fail(written.failure(), record);
  const std::optional<flux::WindowFluxTable> table = sweeper.finish();
  if (!table) return interrupted();
  report::write_spectra_table(run.files[OutputRole::window_flux_table], totals.block_mean_time,
                              *table, inputs.sizes.sample_rate);
  if (run.files.has(OutputRole::window_fluxes_csv)) {
    report::write_window_fluxes(run.files[OutputRole::window_fluxes_csv], totals.block_mean_time,
                                *table, inputs.sizes.sample_rate);
  }
  if (auto finished = run.files.finish(line.durable); !finished.ok()) {
    return fail(finished.failure(), record);
  }
  if (stop_requested()) return interrupted();
  if (auto placed = run.files.put_in_place(line.durable); !placed.ok()) {
    return fail(placed.failure(), record);
  }
  remove_stale_csv_files(line.csv);
  print_lines(warnings.finish());
  return 0;
}

// The whole run in the run folder, which is the working directory.
int run_in_folder(const input::CommandLine& line, RunRecord& record) {
  auto lock = textio::lock_folder_for_writing();
  if (!lock.ok()) return fail(lock.failure(), record);
  // Messages must not go into a file of the run: standard error is checked
  // against the names the run always has before anything is read.
  if (auto clear = check_standard_streams({"", input::configuration_file_name, ""}); !clear.ok()) {
    return fail(clear.failure(), record);
  }
  auto prepared = prepare_run(line.csv, record);
  if (!prepared.ok()) return fail(prepared.failure(), record);
  return process_blocks(prepared.value(), line, record);
}

}  // namespace

int run(const input::CommandLine& line) {
  if (!line.run_folder.empty()) {
    if (auto entered = input::enter_run_folder(line.run_folder); !entered.ok()) {
      return report_failure(entered.failure());
    }
  }
  if (line.check) return check_run();
  textio::catch_stop_signals();
  // Declared before the run's files, so that it outlasts them: when a lack
  // of memory unwinds the run, its staged files are gone before the message.
  RunRecord record;
  try {
    return run_in_folder(line, record);
  } catch (const std::bad_alloc&) {
    return fail(textio::ResourceFailure{"out of memory"}, record);
  } catch (const std::exception& failure) {
    // Any other resource the system refused (a thread, a lock).
    return fail(textio::ResourceFailure{failure.what()}, record);
  }
}

}  // namespace ecflux::driver
