#pragma once

// The two files for scripts that ecflux --csv writes beside the fixed-column
// files: blocks.csv, one row per block with every value of the results row
// at full precision and what a scientist checks before trusting a block's
// flux, and window_fluxes.csv, the window-flux table in long form.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "flux/time_shifts.h"
#include "flux/window_sweep.h"
#include "qc/spectra.h"
#include "report/block_results.h"
#include "textio/output_file.h"

namespace ecflux::report {

// What blocks.csv tells of a block beyond its results row.
struct BlockFacts {
  std::int64_t index = 0;  // counted from 1
  std::int64_t first_line = 0;
  std::int64_t last_line = 0;  // of the data file, where the block's records begin
  std::int64_t samples = 0;
  double steady_state_difference_percent = 0.0;
  double time_step_max_s = 0.0;         // the largest absolute step between two of its samples
  std::int64_t implausible_values = 0;  // records with values beyond the plausible bounds
  std::int64_t uneven_steps = 0;        // steps further than half an interval from 1/fs
  std::int64_t values_unread = 0;       // lines with values after a record's seventh
  flux::DelayCorrectedFlux linear;      // the delay-corrected fluxes of the two detrendings
  flux::DelayCorrectedFlux running;
  // What quality control did and found, where it was asked for.
  struct Quality {
    std::int64_t missing_samples = 0;
    bool beyond_allowance = false;              // too many missing to fill
    std::array<std::int64_t, 4> spikes{};       // replaced in u, v, w and temperature
    bool too_many_spikes = false;               // more than 1 % in w or temperature
    bool spikes_may_remain = false;             // despiking stopped at its pass limit
    double yaw = 0.0, pitch = 0.0, roll = 0.0;  // degrees; not a number where not turned
    double random_error_linear = 0.0;           // W/m², of FLUX-L and FLUX-R
    double random_error_run = 0.0;
    double random_error_lag = 0.0;     // the integration range, seconds
    double low_frequency_share = 0.0;  // of the flux, at the three lowest frequencies
    bool ogive_not_levelled = false;
  } quality;
};

// The groups of columns that quality control adds to blocks.csv, each only
// when its option was given, so that a plain run's file is as it was.
struct QualityColumns {
  bool missing = false;
  bool despike = false;
  bool rotation = false;
  bool uncertainty = false;
  bool spectra = false;
};

// The header of blocks.csv with the groups of quality control asked for.
std::string blocks_csv_header_with(const QualityColumns& columns);

// The quality flag of a block: 0 good, 1 use with care, 2 do not use.
//  2: the steady-state difference is above 100 %, or a time step inside the
//     block is uneven (a gap, a repeated or a backward time), or a record
//     holds an implausible value, or more of its samples are missing than
//     the allowance of --missing-allowance;
//  1: the steady-state difference is 30 % to 100 % (Foken's classes), or a
//     line of the block holds values that are not read, or a delay-corrected
//     flux has its delay at the far edge of the searched range, or more than
//     1 % of w or temperature were spikes (--despike), or the ogive has not
//     levelled off (--spectra: the three lowest frequencies carry more than
//     20 % of the flux);
//  0: none of these. A block too short for the steady-state test (fewer than
//     six samples) is judged without it.
int quality_flag(const BlockFacts& facts);

// One value of a row of a CSV file: a number or a count.
using CsvCell = std::variant<double, std::int64_t>;

// The names of the columns of blocks.csv with the groups of quality control
// asked for, in order.
std::vector<std::string> blocks_csv_names(const QualityColumns& columns);

// The values of the block's row of blocks.csv, in the order of its columns:
// what the file holds, and what a caller in memory takes as the same row.
std::vector<CsvCell> block_row_cells(const BlockReport& report, const BlockFacts& facts,
                                     const QualityColumns& columns = {});

// The block's row of blocks.csv, with the groups of quality control asked
// for.
void write_block_row(textio::OutputFile& file, const BlockReport& report, const BlockFacts& facts,
                     const QualityColumns& columns = {});

// The block's rows of cospectra.csv, one per frequency bin: the block, the
// bin's mean frequency, how many frequencies it holds, the cospectrum of w and
// temperature, the ogive, and the power spectra of w and temperature.
void write_spectrum_rows(textio::OutputFile& file, std::int64_t block,
                         std::span<const qc::SpectrumBin> bins);

// The unit of a column of the CSV files, from the end of its name ("W/m²"
// for flux_run_W_m2; time_mean is in the data file's unit); empty for counts,
// flags and numbers of lines.
std::string csv_column_unit(std::string_view name);
// The column's name without the unit it ends in, for a table's header.
std::string_view csv_column_stem(std::string_view name);

// The names of the columns of window_fluxes.csv, in order.
std::vector<std::string> window_fluxes_csv_names();

// The values of one row of window_fluxes.csv: the block (from 1), its mean
// time, the window in samples and in seconds, its frequency 1 / (samples /
// fs), and the flux in K·m/day and in W/m².
std::array<CsvCell, 7> window_flux_cells(std::int64_t block, double mean_time,
                                         std::int32_t window_samples, double sample_rate,
                                         double flux, const stats::Medium& medium = {});

// Every row of window_fluxes.csv: for each block in order, for each window
// length, the values of window_flux_cells.
void write_window_fluxes(textio::OutputFile& file, std::span<const double> block_mean_time,
                         const flux::WindowFluxTable& table, double sample_rate,
                         const stats::Medium& medium = {});

}  // namespace ecflux::report
