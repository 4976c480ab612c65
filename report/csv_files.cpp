#include "report/csv_files.h"

#include <utility>

#include "report/output_files.h"
#include "textio/csv_record.h"

namespace ecflux::report {

namespace {

constexpr std::string_view missing_columns = ",missing_samples,missing_beyond_allowance";
constexpr std::string_view despike_columns = ",spikes_u,spikes_v,spikes_w,spikes_temperature";
constexpr std::string_view rotation_columns = ",yaw_deg,pitch_deg,roll_deg";
constexpr std::string_view uncertainty_columns =
    ",flux_linear_random_error_W_m2,flux_run_random_error_W_m2,random_error_lag_s";
constexpr std::string_view spectra_columns = ",ogive_low_frequency_share,ogive_not_levelled";

}  // namespace

std::string blocks_csv_header_with(const QualityColumns& columns) {
  std::string header(output_file(OutputRole::blocks_csv).header);
  if (columns.missing) header += missing_columns;
  if (columns.despike) header += despike_columns;
  if (columns.rotation) header += rotation_columns;
  if (columns.uncertainty) header += uncertainty_columns;
  if (columns.spectra) header += spectra_columns;
  return header;
}

namespace {

std::vector<std::string> header_names(std::string_view header) {
  std::vector<std::string> names;
  std::size_t begin = 0;
  for (std::size_t end; (end = header.find(',', begin)) != std::string_view::npos;
       begin = end + 1) {
    names.emplace_back(header.substr(begin, end - begin));
  }
  names.emplace_back(header.substr(begin));
  return names;
}

}  // namespace

std::vector<std::string> blocks_csv_names(const QualityColumns& columns) {
  return header_names(blocks_csv_header_with(columns));
}

std::vector<std::string> window_fluxes_csv_names() {
  return header_names(window_fluxes_csv_header);
}

std::vector<CsvCell> block_row_cells(const BlockReport& report, const BlockFacts& facts,
                                     const QualityColumns& columns) {
  std::vector<CsvCell> cells;
  cells.reserve(64);
  const auto add = [&cells](auto value) { cells.emplace_back(value); };
  add(facts.index);
  add(facts.first_line);
  add(facts.last_line);
  add(facts.samples);
  // The results row, with the flux of the mean-removed fluctuations after
  // FLUX-R, as the header has them.
  for (std::size_t i = 0; i < report.row.size(); ++i) {
    add(report.row[i]);
    if (i == detail::mean_removed_after) add(report.line[1]);
  }
  add(facts.steady_state_difference_percent);
  add(facts.time_step_max_s);
  add(facts.implausible_values);
  add(facts.uneven_steps);
  add(facts.values_unread);
  for (const flux::DelayCorrectedFlux& corrected : {facts.linear, facts.running}) {
    add(corrected.flux);
    add(corrected.delay);
    add(std::int64_t{corrected.at_edge});
  }
  add(std::int64_t{quality_flag(facts)});
  const BlockFacts::Quality& q = facts.quality;
  if (columns.missing) {
    add(q.missing_samples);
    add(std::int64_t{q.beyond_allowance});
  }
  if (columns.despike) {
    for (const std::int64_t spikes : q.spikes) add(spikes);
  }
  if (columns.rotation) {
    add(q.yaw);
    add(q.pitch);
    add(q.roll);
  }
  if (columns.uncertainty) {
    add(q.random_error_linear);
    add(q.random_error_run);
    add(q.random_error_lag);
  }
  if (columns.spectra) {
    add(q.low_frequency_share);
    add(std::int64_t{q.ogive_not_levelled});
  }
  return cells;
}

namespace {

// The endings of the CSV files' column names and the units they stand for.
constexpr std::pair<std::string_view, std::string_view> unit_suffixes[] = {
    {"_cm_s", "cm/s"}, {"_W_m2", "W/m²"}, {"_K_m_day", "K·m/day"},
    {"_deg", "°"},     {"_percent", "%"}, {"_K", "K"},
    {"_s", "s"},       {"_Hz", "Hz"}};

// The block's mean time has no unit at the end of its name: its unit is the
// data file's.
constexpr const ResultsColumn& time_column = results_column(ResultsValue::time);

}  // namespace

std::string csv_column_unit(std::string_view name) {
  if (name == time_column.csv_name) return std::string(time_column.unit);
  for (const auto& [suffix, unit] : unit_suffixes) {
    if (name.ends_with(suffix) && name.size() > suffix.size()) return std::string(unit);
  }
  return {};
}

std::string_view csv_column_stem(std::string_view name) {
  if (name == time_column.csv_name) return name;
  for (const auto& [suffix, unit] : unit_suffixes) {
    if (name.ends_with(suffix) && name.size() > suffix.size()) {
      return name.substr(0, name.size() - suffix.size());
    }
  }
  return name;
}

void write_block_row(textio::OutputFile& file, const BlockReport& report, const BlockFacts& facts,
                     const QualityColumns& columns) {
  textio::CsvRecord record;
  for (const CsvCell& cell : block_row_cells(report, facts, columns)) {
    std::visit([&record](auto value) { record.add(value); }, cell);
  }
  file.write_record(record.text());
}

int quality_flag(const BlockFacts& facts) {
  // The steady-state difference is not a number for blocks too short for it,
  // and then compares false.
  const double steady = facts.steady_state_difference_percent;
  const BlockFacts::Quality& q = facts.quality;
  if (steady > 100.0 || facts.uneven_steps > 0 || facts.implausible_values > 0 ||
      q.beyond_allowance) {
    return 2;
  }
  if (steady >= 30.0 || facts.values_unread > 0 || facts.linear.at_edge || facts.running.at_edge ||
      q.too_many_spikes || q.spikes_may_remain || q.ogive_not_levelled) {
    return 1;
  }
  return 0;
}

void write_spectrum_rows(textio::OutputFile& file, std::int64_t block,
                         std::span<const qc::SpectrumBin> bins) {
  textio::CsvRecord record;
  for (const qc::SpectrumBin& bin : bins) {
    record.clear();
    record.add(block)
        .add(bin.frequency)
        .add(bin.count)
        .add(bin.cospectrum)
        .add(bin.ogive)
        .add(bin.power_w)
        .add(bin.power_temperature);
    file.write_record(record.text());
  }
}

std::array<CsvCell, 7> window_flux_cells(std::int64_t block, double mean_time,
                                         std::int32_t window_samples, double sample_rate,
                                         double flux, const stats::Medium& medium) {
  const double seconds = window_samples / sample_rate;
  return {block,
          mean_time,
          std::int64_t{window_samples},
          seconds,
          1.0 / seconds,
          flux,
          flux::window_flux_in_watts(flux, medium)};
}

void write_window_fluxes(textio::OutputFile& file, std::span<const double> block_mean_time,
                         const flux::WindowFluxTable& table, double sample_rate,
                         const stats::Medium& medium) {
  const std::size_t windows = table.window_count();
  textio::CsvRecord record;
  for (std::size_t b = 0; b < block_mean_time.size(); ++b) {
    const auto flux = table.row(b);
    for (std::size_t k = 0; k < windows; ++k) {
      record.clear();
      for (const CsvCell& cell :
           window_flux_cells(static_cast<std::int64_t>(b) + 1, block_mean_time[b],
                             table.window_length[k], sample_rate, flux[k], medium)) {
        std::visit([&record](auto value) { record.add(value); }, cell);
      }
      file.write_record(record.text());
    }
  }
}

}  // namespace ecflux::report
