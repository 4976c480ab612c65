#pragma once

// The run's output files, described once. The run driver creates them in the
// order of this table, guards the inputs against them and looks for their
// failures in their write order; ecflux-plot reads them back with the same
// names, units and layouts; the tests know them from here.

#include <array>
#include <cstddef>
#include <string_view>

#include "report/results_columns.h"
#include "textio/output_file.h"
#include "textio/record_format.h"

namespace ecflux::report {

enum class OutputRole {
  results,                  // one row per block
  window_flux_table,        // the flux of every block for every running-mean window
  cumulative_flux,          // one row per sample
  shifted_cumulative_flux,  // one row per sample pair at the block's RUNMIN delay
  standard_output,          // one progress line per block
  blocks_csv,               // with --csv: one row per block, every value at full precision
  window_fluxes_csv,        // with --csv: one row per block and window length
  run_record,               // run.json: how the results were made
  cospectra_csv,            // with --spectra: each block's binned spectra and ogive
  block_plot,               // ecflux-plot: the fluxes of every block
  cumulative_plot,          // ecflux-plot: the two cumulative fluxes
  window_plot,              // ecflux-plot: the flux against the running-mean window
  cospectra_plot,           // ecflux-plot, of a run with --spectra: the blocks' cospectra
  report_page,              // ecflux-plot: the page of the run with its plots
};

// Which program writes a file, and when.
enum class WrittenBy {
  run,          // every run of ecflux
  csv_run,      // a run of ecflux --csv: comma-separated values, with a header of
                // column names and every number at full precision
  spectra_run,  // a run of ecflux --spectra, comma-separated values too
  plot,         // ecflux-plot, from the files of a finished run
};

struct OutputFileInfo {
  OutputRole role;
  std::string_view description;  // as messages name it
  // The file's name; empty for the results file, whose name the
  // configuration gives.
  std::string_view fixed_name;
  int unit;  // the number that the file's failures carry
  // The first record as it stands in the file, without its line end; empty
  // when there is none. The window-flux table's first record goes on with
  // one repeated_field per block.
  std::string_view header;
  // The layout of one row.
  std::string_view row_layout;
  // After the row layout, one such field per block, all blocks in one record
  // however many there are (the window-flux table only).
  std::string_view repeated_field;
  // The order in which records reach the files: a block's rows of the two
  // cumulative-flux files, its results row, its progress line and its row of
  // the block table, and the window-flux table and list at the end of the
  // run. Failures are looked for in this order.
  int write_order;
  WrittenBy written_by = WrittenBy::run;
};

// The header of the two cumulative-flux files: the 64 characters written as a
// free-form list of one text value, so after one blank. Each label ends in
// the last column of its field.
inline constexpr std::string_view series_header =
    "         TIME      CUMFLUX        COVAR       ZPRIME      O2PRIME";

inline constexpr std::string_view series_row_layout = "5(1X,F12.8)";

// The columns of blocks.csv, each name with its unit: the block and its
// lines, the results row's values (with the mean-removed flux after FLUX-R),
// and what the block table tells beyond them.
inline constexpr std::string_view blocks_csv_leading = "block,first_line,last_line,samples";
inline constexpr std::string_view blocks_csv_mean_removed = "flux_mean_removed_W_m2";
inline constexpr std::string_view blocks_csv_trailing =
    "steady_state_difference_percent,time_step_max_s,implausible_values,uneven_steps,"
    "values_unread,flux_linear_delay_corrected_W_m2,delay_linear_corrected_s,"
    "delay_linear_at_edge,flux_run_delay_corrected_W_m2,delay_run_corrected_s,"
    "delay_run_at_edge,quality_flag";

namespace detail {

// The results row's values stand in blocks.csv in their order, with the
// mean-removed flux after FLUX-R.
constexpr std::size_t mean_removed_after = static_cast<std::size_t>(ResultsValue::flux_run);

struct BlocksCsvHeader {
  template <class Sink>
  static constexpr void put(Sink& sink) {
    sink(blocks_csv_leading);
    for (std::size_t i = 0; i < results_columns.size(); ++i) {
      sink(",");
      sink(results_columns[i].csv_name);
      if (i == mean_removed_after) {
        sink(",");
        sink(blocks_csv_mean_removed);
      }
    }
    sink(",");
    sink(blocks_csv_trailing);
  }
};

}  // namespace detail

inline constexpr std::string_view blocks_csv_header = textio::joined_text<detail::BlocksCsvHeader>;

namespace detail {

// The block's mean time to nine decimals, then the mean-removed, linear and
// running-mean fluxes as the results row writes its fluxes.
struct ProgressLineLayout {
  template <class Sink>
  static constexpr void put(Sink& sink) {
    const ResultsColumn& flux = results_column(ResultsValue::flux_linear);
    sink("F12.9");
    for (int i = 0; i < 3; ++i) {
      sink(", 1X,F");
      sink(flux.width);
      sink(".");
      sink(flux.decimals);
    }
  }
};

}  // namespace detail

// The layout of the progress line of each block on standard output.
inline constexpr std::string_view progress_line_layout =
    textio::joined_text<detail::ProgressLineLayout>;

// The columns of cospectra.csv, one row per block and frequency bin.
inline constexpr std::string_view cospectra_csv_header =
    "block,frequency_Hz,frequencies_in_bin,cospectrum_K_m,ogive,spectrum_w_m2_s,spectrum_T_K2_s";

// The columns of window_fluxes.csv.
inline constexpr std::string_view window_fluxes_csv_header =
    "block,time_mean,window_samples,window_s,frequency_Hz,flux_K_m_day,flux_W_m2";

// In the order in which the run creates them; standard output is open from
// the start, and the CSV files are made only with --csv. Every name is
// guarded by both programs, whichever writes it: no input of a run, and no
// other output, may have it.
inline constexpr std::array<OutputFileInfo, 14> output_files = {{
    {OutputRole::results, "the results file", "", 9, results_header, results_row_layout, "", 3},
    {OutputRole::window_flux_table, "the window-flux table", "Cospectra.out", 40, "      FREQ",
     "1X,F9.6", "F9.4", 6},
    {OutputRole::cumulative_flux, "the cumulative-flux file", "cumflux.out", 43, series_header,
     series_row_layout, "", 1},
    {OutputRole::shifted_cumulative_flux, "the shifted cumulative-flux file", "CFSHIFT.out", 889,
     series_header, series_row_layout, "", 2},
    {OutputRole::standard_output, "standard output", "/dev/stdout", 6, "", progress_line_layout, "",
     4},
    {OutputRole::blocks_csv, "the block table", "blocks.csv", 50, blocks_csv_header, "", "", 5,
     WrittenBy::csv_run},
    {OutputRole::window_fluxes_csv, "the window-flux list", "window_fluxes.csv", 51,
     window_fluxes_csv_header, "", "", 7, WrittenBy::csv_run},
    {OutputRole::cospectra_csv, "the spectra of the blocks", "cospectra.csv", 53,
     cospectra_csv_header, "", "", 8, WrittenBy::spectra_run},
    {OutputRole::run_record, "the record of the run", "run.json", 52, "", "", "", 9},
    {OutputRole::block_plot, "the plot of the block fluxes", "flux_by_block.svg", 0, "", "", "", 10,
     WrittenBy::plot},
    {OutputRole::cumulative_plot, "the plot of the cumulative fluxes", "cumulative_flux.svg", 0, "",
     "", "", 11, WrittenBy::plot},
    {OutputRole::window_plot, "the plot of the window fluxes", "flux_by_window.svg", 0, "", "", "",
     12, WrittenBy::plot},
    {OutputRole::cospectra_plot, "the plot of the cospectra", "cospectra.svg", 0, "", "", "", 13,
     WrittenBy::plot},
    {OutputRole::report_page, "the report page", "report.html", 0, "", "", "", 14, WrittenBy::plot},
}};

// Where a role's file stands in the table.
constexpr std::size_t table_index(OutputRole role) {
  for (std::size_t i = 0; i < output_files.size(); ++i) {
    if (output_files[i].role == role) return i;
  }
  return 0;
}

constexpr const OutputFileInfo& output_file(OutputRole role) {
  return output_files[table_index(role)];
}

// The name of a file of the run: its fixed name, or the results file's name
// from the configuration.
constexpr std::string_view output_name(const OutputFileInfo& file,
                                       std::string_view results_file_name) {
  return file.role == OutputRole::results ? results_file_name : file.fixed_name;
}

// Whether a run of ecflux writes the file: every run, one with --csv, or
// one with --spectra.
constexpr bool written_by_run(const OutputFileInfo& file, bool csv, bool spectra = false) {
  return file.written_by == WrittenBy::run || (csv && file.written_by == WrittenBy::csv_run) ||
         (spectra && file.written_by == WrittenBy::spectra_run);
}

// The row layout of a role's file, with the columns of its fields: the form
// in which the rows are written and read back.
const textio::RecordFormat& row_format(OutputRole role);

// One row: the values in the format, as one record.
void write_row(textio::OutputFile& file, const textio::RecordFormat& format,
               std::span<const double> values);

// The window-flux table's field of one block.
const textio::RecordFormat::Field& block_field();

}  // namespace ecflux::report
