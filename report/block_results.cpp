#include "report/block_results.h"

#include <cmath>
#include <string>
#include <vector>

#include "textio/layout.h"

namespace ecflux::report {
namespace {

const textio::Layout& results_row_layout() {
  static const textio::Layout layout =
      *textio::parse_layout("F12.4, 6(1X,F7.3), 1X,F5.1, 2(1X,F7.3), 7(1X,F8.2), 3(1X,F5.2)");
  return layout;
}

const textio::Layout& progress_line_layout() {
  static const textio::Layout layout = *textio::parse_layout("F12.9, 1X,F8.2, 1X,F8.2, 1X,F8.2");
  return layout;
}

void write_with_layout(textio::OutputFile& file, const textio::Layout& layout,
                       std::span<const double> values) {
  const std::vector<textio::FieldValue> fields(values.begin(), values.end());
  std::string text;
  textio::append_records(text, layout, fields);
  file.write_text(text);
}

}  // namespace

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
  write_with_layout(results, results_row_layout(), report.row);
  results.flush();
  write_with_layout(screen, progress_line_layout(), report.line);
  screen.flush();
}

}  // namespace ecflux::report
