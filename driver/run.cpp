#include "driver/run.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "driver/configuration.h"
#include "driver/output_queue.h"
#include "flux/shifted_cumulative_flux.h"
#include "flux/time_shifts.h"
#include "flux/window_sweeper.h"
#include "input/block_reader.h"
#include "report/block_results.h"
#include "report/frequency_table.h"
#include "stats/block_statistics.h"
#include "stats/cumulative_flux.h"
#include "textio/layout.h"
#include "textio/output_file.h"

namespace ecflux::driver {
namespace {

using textio::IoFailure;
using textio::OutputFile;

void print_message(const std::string& line) {
  std::fputs(line.c_str(), stderr);
  std::fputc('\n', stderr);
}

int fail(const IoFailure& failure) {
  print_message(textio::fatal_message(failure));
  return 1;
}

int refuse(const Refusal& refusal) {
  print_message(refusal.message);
  return 1;
}

// Two names denote the same file when both exist and share device and inode
// (hard and symbolic links included), or when their resolved paths agree.
bool same_file(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  if (::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0) {
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  }
  std::error_code ea, eb;
  const auto ra = std::filesystem::weakly_canonical(a, ea);
  const auto rb = std::filesystem::weakly_canonical(b, eb);
  return !ea && !eb && ra == rb;
}

struct NamedFile {
  std::string role;
  std::string name;
  bool is_output;
};

// Creating an output file replaces what it names. Refuse a run in which an
// output would replace an input or another output: the data would be lost or
// two outputs would be written over each other.
std::optional<Refusal> check_files_are_distinct(const Configuration& config) {
  const std::vector<NamedFile> files = {
      {"the data file", config.data_file_name, false},
      {"the configuration file", std::string(configuration_file_name), false},
      {"the results file", config.results_file_name, true},
      {"the window-flux file", std::string(report::spectra_file_name), true},
      {"the cumulative-flux file", std::string(stats::cumulative_flux_file_name), true},
      {"the shifted cumulative-flux file", std::string(flux::shifted_flux_file_name), true},
  };
  for (std::size_t i = 0; i < files.size(); ++i) {
    for (std::size_t j = i + 1; j < files.size(); ++j) {
      if (!files[i].is_output && !files[j].is_output) continue;
      if (!same_file(files[i].name, files[j].name)) continue;
      return Refusal{"ecflux: " + files[i].role + " " + textio::absolute_path(files[i].name) +
                     " and " + files[j].role + " " + textio::absolute_path(files[j].name) +
                     " are the same file; nothing was written"};
    }
  }
  return std::nullopt;
}

struct OutputFiles {
  OutputFile results;
  OutputFile spectra;
  OutputFile cumflux;
  OutputFile cfshift;
  OutputFile screen;

  // In the order in which a block writes them, the table last.
  std::optional<IoFailure> first_failure() const {
    for (const OutputFile* file : {&cumflux, &cfshift, &results, &screen, &spectra}) {
      if (file->failure()) return file->failure();
    }
    return std::nullopt;
  }

  void close_all() {
    for (OutputFile* file : {&results, &spectra, &cumflux, &cfshift, &screen}) file->close();
  }
};

// Creates the four output files in their fixed order: the results file, then
// "Cospectra.out", "cumflux.out" and "CFSHIFT.out".
textio::Result<OutputFiles> create_output_files(const Configuration& config) {
  auto results = OutputFile::create(config.results_file_name, report::results_unit);
  if (!results.ok()) return results.failure();
  auto spectra = OutputFile::create(report::spectra_file_name, report::spectra_unit);
  if (!spectra.ok()) return spectra.failure();
  auto cumflux = OutputFile::create(stats::cumulative_flux_file_name, stats::cumulative_flux_unit);
  if (!cumflux.ok()) return cumflux.failure();
  auto cfshift = OutputFile::create(flux::shifted_flux_file_name, flux::shifted_flux_unit);
  if (!cfshift.ok()) return cfshift.failure();
  return OutputFiles{std::move(results.value()), std::move(spectra.value()),
                     std::move(cumflux.value()), std::move(cfshift.value()),
                     OutputFile::standard_output()};
}

// A block's rows of the two cumulative-flux files, on their way to the files.
struct BlockRows {
  stats::SeriesRows cumflux;
  stats::SeriesRows cfshift;
};

// Everything one block needs, sized once for the run.
struct BlockStorage {
  input::Block block;
  stats::BlockStatistics statistics;
  stats::FluctuationSeries series;
  flux::ShiftTables shift_tables;
};

BlockStorage make_block_storage(std::int32_t block_samples, double sample_rate) {
  return {input::make_block(block_samples), stats::make_block_statistics(block_samples),
          stats::make_fluctuation_series(block_samples),
          flux::make_shift_tables(block_samples, sample_rate)};
}

// A generous bound of what a run holds per sample of its blocks: the block,
// its statistics and fluctuation series (12 doubles), the reciprocals of the
// sample counts (2), two sweep batches of w and temperature for eight lanes
// (32), and the rows of a few blocks on their way to the files (40).
constexpr std::uint64_t bytes_per_block_sample = 96 * sizeof(double);

// Memory is promised more freely than it exists: a run whose blocks cannot
// fit in the machine's memory would be killed while filling its tables,
// without a word. Such a run is refused before anything is written.
std::optional<Refusal> check_memory(std::int32_t block_samples) {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long page_size = ::sysconf(_SC_PAGESIZE);
  if (pages <= 0 || page_size <= 0) return std::nullopt;
  const std::uint64_t available =
      static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page_size);
  const std::uint64_t needed = static_cast<std::uint64_t>(block_samples) * bytes_per_block_sample;
  if (needed <= available) return std::nullopt;
  return Refusal{"ecflux: blocks of " + std::to_string(block_samples) + " samples need about " +
                 std::to_string(needed >> 20) + " MB of memory, more than this machine's " +
                 std::to_string(available >> 20) + " MB; nothing was written"};
}

int run_in_working_directory() {
  auto configuration = read_configuration();
  if (!configuration.ok()) return fail(configuration.failure());
  const Configuration& config = configuration.value();

  // The sizes are derived before anything is created, so that a configuration
  // that cannot give a block is refused without touching any file.
  const auto sizes = derive_block_sizes(config);
  if (const auto* refusal = std::get_if<Refusal>(&sizes)) return refuse(*refusal);
  const auto [block_samples, window_samples] = std::get<BlockSizes>(sizes);
  const double fs = config.sample_rate;

  auto data = input::open_data_file(config.data_file_name);
  if (!data.ok()) return fail(data.failure());
  if (auto refusal = check_files_are_distinct(config)) return refuse(*refusal);

  if (auto refusal = check_memory(block_samples)) return refuse(*refusal);
  std::optional<BlockStorage> storage;
  try {
    storage.emplace(make_block_storage(block_samples, fs));
  } catch (const std::bad_alloc&) {
    return refuse(Refusal{"ecflux: not enough memory for blocks of " +
                          std::to_string(block_samples) + " samples; nothing was written"});
  }

  auto created = create_output_files(config);
  if (!created.ok()) return fail(created.failure());
  OutputFiles& files = created.value();

  // Declared after the files, so that it has finished with them before they
  // are closed, also when the run ends early.
  OutputQueue output(2);

  const std::string series_header = textio::list_text_record(stats::cumulative_flux_header);
  files.cumflux.write_record(series_header);
  files.cfshift.write_record(series_header);
  files.results.write_record(report::results_header);

  double cumulative_flux = 0.0;
  double shift_cum_flux = 0.0;
  std::vector<double> block_mean_time;
  // The window sweep of each block runs on worker threads, in batches of
  // blocks, while the next blocks are read; it writes nothing until the
  // table at the end of the run.
  flux::WindowSweeper sweeper(block_samples, fs, flux::default_sweep_options());

  const input::ReadSettings settings{block_samples, config.start_time, config.end_time,
                                     config.w_select, config.temperature_select};
  auto& [block, statistics, series, shift_tables] = *storage;

  for (;;) {
    const input::BlockOutcome outcome = input::read_block(data.value(), settings, block);
    if (outcome.status == input::BlockStatus::read_error) return fail(*outcome.failure);
    if (outcome.status == input::BlockStatus::unreadable_record) {
      print_message("ecflux: warning: line " + std::to_string(outcome.line) + " of the data file " +
                    textio::absolute_path(config.data_file_name) +
                    " holds a value that is not a number; the input ends there and the block in "
                    "progress is dropped");
    }
    if (outcome.status != input::BlockStatus::complete) break;

    stats::compute_block_statistics(block, block_samples, window_samples, statistics,
                                    block_mean_time);
    auto rows = std::make_shared<BlockRows>();
    const stats::ZeroShiftFluxes zero_shift = stats::build_cumulative_flux(
        block, block_samples, fs, statistics, series, cumulative_flux, rows->cumflux);
    const flux::ShiftSearch search =
        flux::search_time_shifts(series, block_samples, fs, zero_shift, shift_tables);
    flux::write_shifted_cumulative_flux(block, block_samples, fs, series,
                                        search.shift_index_run_min, shift_cum_flux, rows->cfshift);
    sweeper.add_block(std::span(block.w).first(block_samples),
                      std::span(block.temperature).first(block_samples));
    // The block's records, in their order: the rows of "cumflux.out", those
    // of "CFSHIFT.out", the results row and the progress line.
    output.post([&files, rows, report = report::make_block_report(statistics, zero_shift, search)] {
      stats::write_series_rows(files.cumflux, rows->cumflux);
      stats::write_series_rows(files.cfshift, rows->cfshift);
      report::write_block_results(report, files.results, files.screen);
      return !files.first_failure();
    });
    if (output.stopped()) return fail(*files.first_failure());
  }

  output.drain();
  if (output.stopped()) return fail(*files.first_failure());
  report::write_spectra_table(files.spectra, block_mean_time, sweeper.finish(), fs);
  files.close_all();
  if (auto failure = files.first_failure()) return fail(*failure);
  return 0;
}

}  // namespace

int run() {
  try {
    return run_in_working_directory();
  } catch (const std::bad_alloc&) {
    print_message("ecflux: out of memory; the records written so far are kept");
    return 1;
  }
}

}  // namespace ecflux::driver
