#include "report/block_results.h"

#include <cmath>

#include "report/output_files.h"

namespace ecflux::report {
BlockReport make_block_report(const stats::BlockStatistics& s, const stats::ZeroShiftFluxes& z,
                              const flux::ShiftSearch& r) {
  using enum ResultsValue;
  BlockReport report{};
  ResultsRow& row = report.row;
  at(row, time) = s.mean_time;
  at(row, u) = s.mean_u * 100.0;
  at(row, v) = s.mean_v * 100.0;
  at(row, w) = s.mean_w * 100.0;
  at(row, w_std) = std::sqrt(s.variance_w) * 100.0;
  at(row, magnitude) = s.wind_magnitude * 100.0;
  at(row, magnitude_std) = std::sqrt(s.variance_speed) * 100.0;
  at(row, direction) = s.wind_direction;
  at(row, temperature) = s.mean_temperature;
  at(row, temperature_std) = std::sqrt(s.variance_temperature);
  at(row, flux_linear) = z.flux_lin;
  at(row, flux_run) = z.flux_run;
  at(row, flux_linear_min) = r.flux_lin_min;
  at(row, flux_run_min) = r.flux_run_min;
  at(row, flux_linear_max) = r.flux_lin_max;
  at(row, flux_run_max) = r.flux_run_max;
  at(row, delay_linear_min) = r.shift_lin_min;
  at(row, delay_run_min) = r.shift_run_min;
  at(row, delay_linear_max) = r.shift_lin_max;
  at(row, delay_run_max) = r.shift_run_max;
  report.line = {s.mean_time, z.flux_mean, z.flux_lin, z.flux_run};
  return report;
}

void write_block_results(const BlockReport& report, textio::OutputFile& results,
                         textio::OutputFile& screen) {
  write_results_row(report, results);
  write_row(screen, row_format(OutputRole::standard_output), report.line);
  screen.flush();
}

void write_results_row(const BlockReport& report, textio::OutputFile& results) {
  write_row(results, row_format(OutputRole::results), report.row);
  results.flush();
}

}  // namespace ecflux::report
