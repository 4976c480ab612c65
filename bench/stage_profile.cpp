// Where the time of a run goes: performs the run driver's steps on the run
// folder's configuration and data file, timing each step with a monotonic
// clock, and prints each stage's total and its share of the run.
//
//   stage_profile FOLDER [--repeat R] [--reference-blocks K] [--threads T]
//                 [--isa plain|avx2|avx512]
//
// FOLDER holds "ConfigDRAVEK.Dat" and the data file it names. The output
// files go to FOLDER/profile/ (the screen lines to profile/screen.out), so
// the outputs of a real run in FOLDER are left alone.
//
// Every step runs on the calling thread, one after another, so that each
// step's time is its own: the run itself writes each block's rows on an
// output thread and sweeps on worker threads while it reads the next block.
// The window sweep is timed apart from the block loop: the blocks' w and
// temperature are kept, and after the loop the fast sweeper sweeps them all,
// so its worker threads do not compete with the other stages for the
// processors. The straightforward sweep, one window after another, is timed
// on the first K blocks only (it is slow) and extrapolated to every block.
// The whole profile is taken R times (3 by default) and every figure is the
// median of its R values, since other work may share the processors.

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "flux/shifted_cumulative_flux.h"
#include "flux/time_shifts.h"
#include "flux/window_sweep.h"
#include "flux/window_sweeper.h"
#include "input/block_reader.h"
#include "input/configuration.h"
#include "report/block_results.h"
#include "report/cumulative_flux_files.h"
#include "report/output_files.h"
#include "report/window_flux_table.h"
#include "stats/block_statistics.h"
#include "stats/cumulative_flux.h"
#include "textio/output_file.h"

namespace {

using namespace ecflux;
using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double process_cpu_seconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

struct Options {
  std::string folder;
  int repeat = 3;
  int reference_blocks = 2;
  flux::SweepOptions sweep = flux::default_sweep_options();
};

bool parse_options(int argc, char** argv, Options& options) {
  if (argc < 2 || argc % 2 != 0) return false;
  options.folder = argv[1];
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    const std::string value = argv[i + 1];
    if (name == "--repeat") {
      options.repeat = std::atoi(value.c_str());
    } else if (name == "--reference-blocks") {
      options.reference_blocks = std::atoi(value.c_str());
    } else if (name == "--threads") {
      options.sweep.threads = std::atoi(value.c_str());
    } else if (name == "--isa") {
      options.sweep.implementation = flux::find_implementation(value);
      if (options.sweep.implementation == nullptr) return false;
      if (!options.sweep.implementation->supported()) {
        std::fprintf(stderr, "stage_profile: %s is not available on this processor\n",
                     value.c_str());
        return false;
      }
    } else {
      return false;
    }
  }
  return options.repeat >= 1 && options.reference_blocks >= 0 && options.sweep.threads >= 1;
}

[[noreturn]] void die(const std::string& message) {
  std::fprintf(stderr, "stage_profile: %s\n", message.c_str());
  std::exit(1);
}

textio::OutputFile create(const std::string& name, int unit) {
  auto file = textio::OutputFile::create(name, unit);
  if (!file.ok()) die(base::fatal_message(file.failure()));
  return std::move(file.value());
}

// The seconds of each step of one profile, and what goes with them.
struct Profile {
  double read = 0.0;             // open_data_file and read_block
  double statistics = 0.0;       // compute_block_statistics
  double cumulative = 0.0;       // build_cumulative_flux: series, sums, cumflux.out values
  double shift_search = 0.0;     // search_time_shifts
  double shifted = 0.0;          // write_shifted_cumulative_flux: CFSHIFT.out values
  double report = 0.0;           // make_block_report
  double cumflux_rows = 0.0;     // write_series_rows to cumflux.out
  double cfshift_rows = 0.0;     // write_series_rows to CFSHIFT.out
  double results = 0.0;          // write_block_results
  double sweep = 0.0;            // WindowSweeper: add_block for every block, then finish
  double spectra = 0.0;          // write_spectra_table and closing the files
  double sweep_cpu = 0.0;        // processor time of the fast sweep, all threads
  double reference_sweep = 0.0;  // sweep_running_mean_windows on the first blocks
  double format_row = 0.0;       // one series row formatted, to a discarding file
  std::size_t blocks = 0;
  std::size_t rows = 0;  // of cumflux.out
  std::size_t reference_blocks = 0;
  std::size_t windows = 0;
  bool identical = true;  // fast and straightforward sweeps agree bit for bit
};

// The run's sizes, read once.
struct RunSetup {
  input::Configuration config;
  input::BlockSizes sizes;
};

// Seconds per series row for formatting alone: the rows written to a file
// that discards them, the best of three passes.
double time_formatting(const stats::SeriesRows& rows) {
  double best = 0.0;
  for (int pass = 0; pass < 3; ++pass) {
    textio::OutputFile sink = create("/dev/null", 0);
    const auto start = Clock::now();
    report::write_series_rows(sink, rows);
    sink.close();
    const double seconds = seconds_since(start) / static_cast<double>(rows.size());
    if (pass == 0 || seconds < best) best = seconds;
  }
  return best;
}

Profile profile_once(const Options& options, const RunSetup& setup) {
  const input::Configuration& config = setup.config;
  const input::BlockSizes& sizes = setup.sizes;
  const std::int32_t block_samples = sizes.block_samples;
  const double fs = sizes.sample_rate;
  Profile p;

  auto start = Clock::now();
  auto data = input::open_data_file(config.data_file_name);
  if (!data.ok()) die(base::fatal_message(data.failure()));
  p.read += seconds_since(start);

  using report::OutputRole;
  const auto create_output = [&](OutputRole role, const std::string& name) {
    return create("profile/" + name, report::output_file(role).unit);
  };
  textio::OutputFile results = create_output(OutputRole::results, config.results_file_name);
  textio::OutputFile spectra = create_output(OutputRole::window_flux_table, "Cospectra.out");
  textio::OutputFile cumflux = create_output(OutputRole::cumulative_flux, "cumflux.out");
  textio::OutputFile cfshift = create_output(OutputRole::shifted_cumulative_flux, "CFSHIFT.out");
  textio::OutputFile screen = create_output(OutputRole::standard_output, "screen.out");
  cumflux.write_record(report::series_header);
  cfshift.write_record(report::series_header);
  results.write_record(report::results_header);

  input::Block block = input::make_block(block_samples);
  stats::BlockStatistics statistics = stats::make_block_statistics(block_samples);
  stats::FluctuationSeries series = stats::make_fluctuation_series(block_samples);
  flux::ShiftTables shift_tables = flux::make_shift_tables(sizes);
  flux::SweepScratch sweep_scratch = flux::make_sweep_scratch(block_samples);
  stats::SeriesRows cumflux_rows, cfshift_rows;

  double cumulative_flux = 0.0;
  double shift_cum_flux = 0.0;
  std::vector<double> block_mean_time;
  flux::WindowFluxTable reference_table;
  reference_table.window_length = flux::window_sequence(sizes);
  std::vector<std::vector<double>> kept_w, kept_temperature;

  input::ReadSettings settings;
  settings.block_samples = block_samples;
  settings.start_time = config.start_time;
  settings.end_time = config.end_time;
  settings.w_select = config.w_select;
  settings.temperature_select = config.temperature_select;
  settings.sample_rate = fs;
  for (;;) {
    start = Clock::now();
    const auto outcome = input::read_block(data.value(), settings, block);
    p.read += seconds_since(start);
    if (!outcome.ok()) die(base::fatal_message(outcome.failure()));
    if (outcome.value().status != input::BlockStatus::complete) break;
    ++p.blocks;

    start = Clock::now();
    stats::compute_block_statistics(block, sizes, statistics, block_mean_time);
    p.statistics += seconds_since(start);

    cumflux_rows.clear();
    cfshift_rows.clear();
    start = Clock::now();
    const stats::ZeroShiftFluxes zero_shift = stats::build_cumulative_flux(
        block, sizes, statistics, series, cumulative_flux, cumflux_rows);
    p.cumulative += seconds_since(start);

    start = Clock::now();
    const flux::ShiftSearch search =
        flux::search_time_shifts(series, sizes, zero_shift, shift_tables);
    p.shift_search += seconds_since(start);

    start = Clock::now();
    flux::write_shifted_cumulative_flux(block, sizes, series, search.shift_index_run_min,
                                        shift_cum_flux, cfshift_rows);
    p.shifted += seconds_since(start);

    start = Clock::now();
    const report::BlockReport block_report =
        report::make_block_report(statistics, zero_shift, search);
    p.report += seconds_since(start);

    start = Clock::now();
    report::write_series_rows(cumflux, cumflux_rows);
    p.cumflux_rows += seconds_since(start);

    start = Clock::now();
    report::write_series_rows(cfshift, cfshift_rows);
    p.cfshift_rows += seconds_since(start);

    start = Clock::now();
    report::write_block_results(block_report, results, screen);
    p.results += seconds_since(start);
    p.rows += cumflux_rows.size();

    // Not part of the run: kept for the sweep phase after the loop.
    kept_w.emplace_back(block.w.begin(), block.w.begin() + block_samples);
    kept_temperature.emplace_back(block.temperature.begin(),
                                  block.temperature.begin() + block_samples);
    if (p.blocks <= static_cast<std::size_t>(options.reference_blocks)) {
      start = Clock::now();
      flux::sweep_running_mean_windows(block, sizes, sweep_scratch, reference_table);
      p.reference_sweep += seconds_since(start);
    }
  }

  start = Clock::now();
  const double sweep_cpu_start = process_cpu_seconds();
  flux::WindowSweeper sweeper(sizes, options.sweep);
  for (std::size_t b = 0; b < p.blocks; ++b) sweeper.add_block(kept_w[b], kept_temperature[b]);
  const flux::WindowFluxTable window_table = *sweeper.finish();
  p.sweep_cpu = process_cpu_seconds() - sweep_cpu_start;
  p.sweep = seconds_since(start);

  start = Clock::now();
  report::write_spectra_table(spectra, block_mean_time, window_table, fs);
  for (textio::OutputFile* file : {&results, &spectra, &cumflux, &cfshift, &screen}) {
    file->close();
    if (auto status = file->status(); !status.ok()) die(base::fatal_message(status.failure()));
  }
  p.spectra = seconds_since(start);

  if (cumflux_rows.size() > 0) p.format_row = time_formatting(cumflux_rows);

  p.windows = reference_table.window_length.size();
  p.reference_blocks = reference_table.block_count();
  p.identical = window_table.window_length == reference_table.window_length;
  for (std::size_t b = 0; p.identical && b < p.reference_blocks; ++b) {
    p.identical = std::memcmp(window_table.row(b).data(), reference_table.row(b).data(),
                              window_table.window_count() * sizeof(double)) == 0;
  }
  return p;
}

// The median of one figure over the profiles.
double median(const std::vector<Profile>& profiles, double Profile::*figure) {
  std::vector<double> values;
  for (const Profile& p : profiles) values.push_back(p.*figure);
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : 0.5 * (values[middle - 1] + values[middle]);
}

void print_row(const char* label, double seconds, double total) {
  std::printf("  %-58s %9.3f s %6.1f %%\n", label, seconds, 100.0 * seconds / total);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parse_options(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: stage_profile FOLDER [--repeat R] [--reference-blocks K] [--threads T] "
                 "[--isa plain|avx2|avx512]\n");
    return 2;
  }
  std::error_code error;
  std::filesystem::current_path(options.folder, error);
  if (error) die("cannot enter " + options.folder + ": " + error.message());
  std::filesystem::create_directories("profile", error);
  if (error) die("cannot create " + options.folder + "/profile: " + error.message());

  auto configuration = input::read_configuration();
  if (!configuration.ok()) die(base::fatal_message(configuration.failure()));
  RunSetup setup;
  setup.config = configuration.value();
  const auto sizes = input::derive_block_sizes(setup.config);
  if (!sizes.ok()) die(base::fatal_message(sizes.failure()));
  setup.sizes = sizes.value();
  const auto input_bytes = std::filesystem::file_size(setup.config.data_file_name, error);

  std::vector<Profile> profiles;
  for (int r = 0; r < options.repeat; ++r) profiles.push_back(profile_once(options, setup));
  const Profile& first = profiles.front();
  bool identical = true;
  for (const Profile& p : profiles) identical = identical && p.identical;

  const double read = median(profiles, &Profile::read);
  const double statistics = median(profiles, &Profile::statistics);
  const double cumulative = median(profiles, &Profile::cumulative);
  const double shift_search = median(profiles, &Profile::shift_search);
  const double shifted = median(profiles, &Profile::shifted);
  const double report = median(profiles, &Profile::report);
  const double cumflux_rows = median(profiles, &Profile::cumflux_rows);
  const double cfshift_rows = median(profiles, &Profile::cfshift_rows);
  const double results = median(profiles, &Profile::results);
  const double sweep = median(profiles, &Profile::sweep);
  const double spectra = median(profiles, &Profile::spectra);
  const double sweep_cpu = median(profiles, &Profile::sweep_cpu);
  const double reference_sweep = median(profiles, &Profile::reference_sweep);
  const double format_row = median(profiles, &Profile::format_row);

  const double arithmetic = statistics + cumulative + shifted + report;
  const double writing = cumflux_rows + cfshift_rows + results + spectra;
  const double total = read + arithmetic + shift_search + sweep + writing;
  const std::size_t blocks = first.blocks;
  const std::size_t checked = first.reference_blocks;
  const double reference_per_block =
      checked > 0 ? reference_sweep / static_cast<double>(checked) : 0.0;
  const double reference_all = reference_per_block * static_cast<double>(blocks);
  const double mb = static_cast<double>(input_bytes) / 1e6;
  const auto rows = static_cast<double>(first.rows);

  std::printf("stage profile of %s/%s\n", options.folder.c_str(),
              setup.config.data_file_name.c_str());
  std::printf("  %.1f MB, %zu blocks of %d samples at %g Hz, %zu window lengths per block\n", mb,
              blocks, setup.sizes.block_samples, setup.sizes.sample_rate, first.windows);
  std::printf("  fast sweep: %s, %d worker(s); medians of %d profiles; outputs in %s/profile\n",
              std::string(options.sweep.implementation->name).c_str(), options.sweep.threads,
              options.repeat, options.folder.c_str());
  std::printf("\nstages (wall time, one after another; the shares add up to the total)\n");
  print_row("reading and parsing", read, total);
  print_row("block statistics and cumulative flux (values of the rows)", arithmetic, total);
  print_row("shift search", shift_search, total);
  print_row("window sweep (fast)", sweep, total);
  print_row("writing (formatting the rows and records)", writing, total);
  print_row("total", total, total);
  std::printf("\nsteps\n");
  print_row("read_block: free-form parse of the data file", read, total);
  print_row("compute_block_statistics", statistics, total);
  print_row("build_cumulative_flux: series, sums, cumflux.out values", cumulative, total);
  print_row("write_shifted_cumulative_flux: CFSHIFT.out values", shifted, total);
  print_row("make_block_report", report, total);
  print_row("search_time_shifts", shift_search, total);
  print_row("WindowSweeper add_block + finish (all blocks)", sweep, total);
  print_row("write_series_rows: cumflux.out", cumflux_rows, total);
  print_row("write_series_rows: CFSHIFT.out", cfshift_rows, total);
  print_row("write_block_results: results row, progress line", results, total);
  print_row("write_spectra_table, closing the files", spectra, total);
  std::printf("\nnotes\n");
  std::printf(
      "  a real run writes the rows on an output thread and sweeps on worker threads\n"
      "    while it reads the next blocks, so with several processors its wall time\n"
      "    is less than this total\n");
  if (rows > 0.0) {
    std::printf(
        "  one 5-field series row (1X,F12.8 each): %.0f ns to format alone (to\n"
        "    /dev/null), %.0f ns formatted and written to cumflux.out\n",
        format_row * 1e9, cumflux_rows / rows * 1e9);
  }
  std::printf("  fast sweep: %.3f s wall, %.3f s processor time (all threads)\n", sweep, sweep_cpu);
  if (checked > 0) {
    std::printf(
        "  straightforward sweep (sweep_running_mean_windows): %.3f s per block, measured\n"
        "    on %zu block(s); extrapolated to %zu blocks: %.1f s, which would be %.1f %%\n"
        "    of a run that used it (%.0f times the fast sweep)\n",
        reference_per_block, checked, blocks, reference_all,
        100.0 * reference_all / (total - sweep + reference_all),
        sweep > 0.0 ? reference_all / sweep : 0.0);
    std::printf("  fast and straightforward sweeps on those blocks: %s\n",
                identical ? "bit-identical" : "DIFFERENT");
  }
  std::printf("  input rate of reading and parsing: %.1f MB/s\n", read > 0.0 ? mb / read : 0.0);
  return identical ? 0 : 1;
}
