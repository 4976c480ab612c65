#include "driver/run.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "driver/file_guard.h"
#include "driver/output_queue.h"
#include "flux/shifted_cumulative_flux.h"
#include "flux/time_shifts.h"
#include "flux/window_sweeper.h"
#include "input/block_reader.h"
#include "input/configuration.h"
#include "report/block_results.h"
#include "report/cumulative_flux_files.h"
#include "report/output_files.h"
#include "report/window_flux_table.h"
#include "stats/block_statistics.h"
#include "stats/cumulative_flux.h"
#include "textio/available_memory.h"
#include "textio/output_file.h"

namespace ecflux::driver {
namespace {

using report::OutputRole;
using textio::OutputFile;
using textio::Refusal;
using textio::Status;

void print_line(const std::string& line) {
  std::fputs(line.c_str(), stderr);
  std::fputc('\n', stderr);
}

int report_failure(const textio::Failure& failure) {
  print_line(textio::fatal_message(failure));
  return 1;
}

// A generous bound of what a run holds per sample of its blocks: the block,
// its statistics and fluctuation series (12 doubles), the reciprocals of the
// sample counts (2), two sweep batches of w and temperature for eight lanes
// (32), and the rows of a few blocks on their way to the files (40).
constexpr std::uint64_t bytes_per_block_sample = 96 * sizeof(double);

// Memory is promised more freely than it exists: a run whose blocks cannot
// fit in the memory the machine can still give would be killed while filling
// its tables, without a word. Such a run is refused before anything is
// written. Blocks that fit take their memory as samples arrive.
Status check_memory(const input::BlockSizes& sizes) {
  const auto available = textio::available_memory();
  if (!available) return {};
  const std::uint64_t needed =
      static_cast<std::uint64_t>(sizes.block_samples) * bytes_per_block_sample;
  if (needed <= *available) return {};
  return Refusal{"blocks of " + std::to_string(sizes.block_samples) + " samples need about " +
                 std::to_string(needed >> 20) + " MB of memory, more than the " +
                 std::to_string(*available >> 20) +
                 " MB this machine can give; nothing was written"};
}

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

// The run's output files, standard output among them, by role.
class OutputFiles {
 public:
  // Creates the files in the order of the table.
  // Creates the files in the order of the table. Every file is opened before
  // any is emptied: when one cannot be created, the failure is that of the
  // first file in the table's order that fails, and the files of an earlier
  // run are left as they were (a file this run created is taken away again).
  static textio::Result<OutputFiles> create(const input::Configuration& config) {
    OutputFiles created;
    for (const report::OutputFileInfo& file : report::output_files) {
      if (file.role == OutputRole::standard_output) {
        created.files_.push_back(OutputFile::standard_output());
        continue;
      }
      auto opened = OutputFile::open_for_replacement(
          report::output_name(file, config.results_file_name), file.unit);
      if (!opened.ok()) {
        for (OutputFile& earlier : created.files_) earlier.discard();
        return std::move(opened.failure());
      }
      created.files_.push_back(std::move(opened.value()));
    }
    for (OutputFile& file : created.files_) {
      if (auto replaced = file.replace(); !replaced.ok()) return std::move(replaced.failure());
    }
    return created;
  }

  OutputFile& operator[](OutputRole role) { return files_[report::table_index(role)]; }

  // The first failure in the order in which the files are written.
  Status first_failure() const {
    for (const OutputRole role : write_order) {
      Status status = files_[report::table_index(role)].status();
      if (!status.ok()) return status;
    }
    return {};
  }

  void close_all() {
    for (OutputFile& file : files_) file.close();
  }

 private:
  std::vector<OutputFile> files_;  // in the order of the table
};

// Everything the block loop works with, ready before the first block.
struct PreparedRun {
  input::Configuration config;
  input::BlockSizes sizes;
  input::DataFile data;
  BlockStorage storage;
  OutputFiles files;
};

// Reads the configuration and opens the data file, then refuses what cannot
// give a good run, and only then creates the output files and writes their
// headers: a run that fails before that leaves every file as it was.
textio::Result<PreparedRun> prepare_run() {
  auto configuration = input::read_configuration();
  if (!configuration.ok()) return std::move(configuration.failure());
  const input::Configuration& config = configuration.value();

  auto sizes = input::derive_block_sizes(config);
  if (!sizes.ok()) return std::move(sizes.failure());
  auto data = input::open_data_file(config.data_file_name);
  if (!data.ok()) return std::move(data.failure());
  if (auto distinct = check_files_are_distinct(config); !distinct.ok()) {
    return std::move(distinct.failure());
  }
  if (auto memory = check_memory(sizes.value()); !memory.ok()) return std::move(memory.failure());

  auto files = OutputFiles::create(config);
  if (!files.ok()) return std::move(files.failure());
  // The first record of the window-flux table waits for the block times.
  for (const OutputRole role :
       {OutputRole::cumulative_flux, OutputRole::shifted_cumulative_flux, OutputRole::results}) {
    files.value()[role].write_record(report::output_file(role).header);
  }
  return PreparedRun{std::move(configuration.value()), sizes.value(), std::move(data.value()),
                     BlockStorage{}, std::move(files.value())};
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

// The steps of one complete block, in their order. The block's records are
// handed to the output thread and its window sweep to the sweeper, so the
// next block can be read while they are done.
void process_block(const input::BlockSizes& sizes, BlockStorage& storage, RunTotals& totals,
                   flux::WindowSweeper& sweeper, OutputQueue& output, OutputFiles& files) {
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
  output.post([&files, rows, report = report::make_block_report(statistics, zero_shift, search)] {
    report::write_series_rows(files[OutputRole::cumulative_flux], rows->cumflux);
    report::write_series_rows(files[OutputRole::shifted_cumulative_flux], rows->cfshift);
    report::write_block_results(report, files[OutputRole::results],
                                files[OutputRole::standard_output]);
    return files.first_failure();
  });
}

void warn_unreadable_value(const input::Configuration& config, std::int64_t line) {
  print_line("ecflux: warning: line " + std::to_string(line) + " of the data file " +
             textio::absolute_path(config.data_file_name) +
             " holds a value that is not a number; the input ends there and the block in "
             "progress is dropped");
}

// The block loop, then the window-flux table. Returns the exit status.
int process_blocks(PreparedRun& run) {
  // Declared after the files, so that both have finished with them before
  // they are closed, also when the run ends early.
  OutputQueue output(2);
  flux::WindowSweeper sweeper(run.sizes, flux::default_sweep_options());
  RunTotals totals;
  const input::ReadSettings settings{run.sizes.block_samples, run.config.start_time,
                                     run.config.end_time, run.config.w_select,
                                     run.config.temperature_select};
  for (;;) {
    auto outcome = input::read_block(run.data, settings, run.storage.block);
    if (!outcome.ok()) return report_failure(outcome.failure());
    const input::BlockStatus status = outcome.value().status;
    if (status == input::BlockStatus::unreadable_record) {
      warn_unreadable_value(run.config, outcome.value().line);
    }
    if (status != input::BlockStatus::complete) break;
    process_block(run.sizes, run.storage, totals, sweeper, output, run.files);
    if (auto written = output.status(); !written.ok()) return report_failure(written.failure());
  }

  output.drain();
  if (auto written = output.status(); !written.ok()) return report_failure(written.failure());
  report::write_spectra_table(run.files[OutputRole::window_flux_table], totals.block_mean_time,
                              sweeper.finish(), run.sizes.sample_rate);
  run.files.close_all();
  if (auto closed = run.files.first_failure(); !closed.ok()) {
    return report_failure(closed.failure());
  }
  return 0;
}

}  // namespace

int run() {
  try {
    auto prepared = prepare_run();
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
