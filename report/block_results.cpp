#include "report/block_results.h"

#include <cmath>

#include "report/output_files.h"

namespace ecflux::report {
BlockReport make_block_report(const stats::BlockStatistics& s, const stats::ZeroShiftFluxes& z,
                              const flux::ShiftSearch& r) {
  return {{s.mean_time,
           s.mean_u * 100.0,
           s.mean_v * 100.0,
           s.mean_w * 100.0,
           std::sqrt(s.variance_w) * 100.0,
           s.wind_magnitude * 100.0,
           std::sqrt(s.variance_speed) * 100.0,
           s.wind_direction,
           s.mean_temperature,
           std::sqrt(s.variance_temperature),
           z.flux_lin,
           z.flux_run,
           r.flux_lin_min,
           r.flux_run_min,
           r.flux_lin_max,
           r.flux_run_max,
           r.shift_lin_min,
           r.shift_run_min,
           r.shift_lin_max,
           r.shift_run_max},
          {s.mean_time, z.flux_mean, z.flux_lin, z.flux_run}};
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
