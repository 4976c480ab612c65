#include "report/csv_files.h"

#include "textio/csv_record.h"

namespace ecflux::report {

void write_block_row(textio::OutputFile& file, const BlockReport& report, const BlockFacts& facts) {
  textio::CsvRecord record;
  record.add(facts.index).add(facts.first_line).add(facts.last_line).add(facts.samples);
  // TIME to T-STD, then FLUX-L and FLUX-R, as in the results row.
  for (std::size_t i = 0; i <= 11; ++i) record.add(report.row[i]);
  record.add(report.line[1]);  // the flux of the mean-removed fluctuations
  // LINMIN, RUNMIN, LINMAX, RUNMAX and their delays.
  for (std::size_t i = 12; i < report.row.size(); ++i) record.add(report.row[i]);
  record.add(facts.steady_state_difference_percent)
      .add(facts.time_step_max_s)
      .add(facts.implausible_values)
      .add(facts.uneven_steps)
      .add(facts.values_unread);
  for (const flux::DelayCorrectedFlux& corrected : {facts.linear, facts.running}) {
    record.add(corrected.flux).add(corrected.delay).add(std::int64_t{corrected.at_edge});
  }
  record.add(std::int64_t{quality_flag(facts)});
  file.write_record(record.text());
}

int quality_flag(const BlockFacts& facts) {
  // The steady-state difference is not a number for blocks too short for it,
  // and then compares false.
  const double steady = facts.steady_state_difference_percent;
  if (steady > 100.0 || facts.uneven_steps > 0 || facts.implausible_values > 0) return 2;
  if (steady >= 30.0 || facts.values_unread > 0 || facts.linear.at_edge || facts.running.at_edge) {
    return 1;
  }
  return 0;
}

void write_window_fluxes(textio::OutputFile& file, std::span<const double> block_mean_time,
                         const flux::WindowFluxTable& table, double sample_rate) {
  const std::size_t windows = table.window_count();
  textio::CsvRecord record;
  for (std::size_t b = 0; b < block_mean_time.size(); ++b) {
    const auto flux = table.row(b);
    for (std::size_t k = 0; k < windows; ++k) {
      const double seconds = table.window_length[k] / sample_rate;
      record.clear();
      record.add(static_cast<std::int64_t>(b) + 1)
          .add(block_mean_time[b])
          .add(table.window_length[k])
          .add(seconds)
          .add(1.0 / seconds)
          .add(flux[k])
          .add(flux::window_flux_in_watts(flux[k]));
      file.write_record(record.text());
    }
  }
}

}  // namespace ecflux::report
