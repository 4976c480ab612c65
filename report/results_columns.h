#pragma once

// The columns of a block's results, described once: the results file's
// header and row layout, the blocks.csv names of these values, and the units
// ecflux-plot shows are all derived from this table.

#include <array>
#include <cstddef>
#include <string_view>

#include "textio/constexpr_text.h"

namespace ecflux::report {

// The values of a block's results row, in the order of the file.
enum class ResultsValue : std::size_t {
  time,
  u,
  v,
  w,
  w_std,
  magnitude,
  magnitude_std,
  direction,
  temperature,
  temperature_std,
  flux_linear,
  flux_run,
  flux_linear_min,
  flux_run_min,
  flux_linear_max,
  flux_run_max,
  delay_linear_min,
  delay_run_min,
  delay_linear_max,
  delay_run_max,
};

struct ResultsColumn {
  std::string_view label;  // in the results file's header
  int width;               // of its F field
  int decimals;
  std::string_view unit;      // as a person reads it
  std::string_view csv_name;  // in blocks.csv, the unit at its end
  // The header's label ends in the last column of the field, or this many
  // columns to the right of it.
  int label_offset = 0;
};

// The unit of the data file's times, whatever it is.
inline constexpr std::string_view data_time_unit = "data file's unit";

inline constexpr std::array<ResultsColumn, 20> results_columns = {{
    {"TIME", 12, 4, data_time_unit, "time_mean"},
    {"X-VEL", 7, 3, "cm/s", "u_mean_cm_s"},
    {"Y-VEL", 7, 3, "cm/s", "v_mean_cm_s"},
    {"Z-VEL", 7, 3, "cm/s", "w_mean_cm_s"},
    {"Z-STD", 7, 3, "cm/s", "w_std_cm_s"},
    {"MAG", 7, 3, "cm/s", "magnitude_cm_s"},
    {"MAG-STD", 7, 3, "cm/s", "magnitude_std_cm_s"},
    {"DIR", 5, 1, "°", "direction_deg"},
    // The header has always had T(K) two columns right of its field.
    {"T(K)", 7, 3, "K", "temperature_mean_K", 2},
    {"T-STD", 7, 3, "K", "temperature_std_K"},
    {"FLUX-L", 8, 2, "W/m²", "flux_linear_W_m2"},
    {"FLUX-R", 8, 2, "W/m²", "flux_run_W_m2"},
    {"LINMIN", 8, 2, "W/m²", "flux_linear_min_W_m2"},
    {"RUNMIN", 8, 2, "W/m²", "flux_run_min_W_m2"},
    {"LINMAX", 8, 2, "W/m²", "flux_linear_max_W_m2"},
    {"RUNMAX", 8, 2, "W/m²", "flux_run_max_W_m2"},
    {"SLMIN", 8, 2, "s", "delay_linear_min_s"},
    {"SRMIN", 5, 2, "s", "delay_run_min_s"},
    {"SLMAX", 5, 2, "s", "delay_linear_max_s"},
    {"SRMAX", 5, 2, "s", "delay_run_max_s"},
}};

constexpr const ResultsColumn& results_column(ResultsValue value) {
  return results_columns[static_cast<std::size_t>(value)];
}

// A block's results row: one value per column.
using ResultsRow = std::array<double, results_columns.size()>;

constexpr double& at(ResultsRow& row, ResultsValue value) {
  return row[static_cast<std::size_t>(value)];
}

constexpr double at(const ResultsRow& row, ResultsValue value) {
  return row[static_cast<std::size_t>(value)];
}

namespace detail {

// The fields stand one blank apart: F12.4, then 1X before each other field.
constexpr std::size_t header_length() {
  std::size_t length = 0;
  for (const ResultsColumn& column : results_columns) {
    length += static_cast<std::size_t>(column.width) + (length > 0 ? 1 : 0);
  }
  return length;
}

inline constexpr auto header_characters = [] {
  std::array<char, header_length()> text{};
  for (char& c : text) c = ' ';
  std::size_t at = 0;
  for (const ResultsColumn& column : results_columns) {
    if (at > 0) ++at;
    at += static_cast<std::size_t>(column.width);
    const std::size_t end = at + static_cast<std::size_t>(column.label_offset);
    for (std::size_t i = 0; i < column.label.size(); ++i) {
      text[end - column.label.size() + i] = column.label[i];
    }
  }
  return text;
}();

// "F12.4, 1X,F7.3, 1X,F7.3, ...": the row layout.
struct RowLayout {
  template <class Sink>
  static constexpr void put(Sink& sink) {
    for (const ResultsColumn& column : results_columns) {
      if (&column != results_columns.data()) sink(", 1X,");
      sink("F");
      sink(column.width);
      sink(".");
      sink(column.decimals);
    }
  }
};

}  // namespace detail

// The results file's header: each label right-justified in its field.
inline constexpr std::string_view results_header{detail::header_characters.data(),
                                                 detail::header_characters.size()};

// The layout of a results row.
inline constexpr std::string_view results_row_layout = textio::joined_text<detail::RowLayout>;

}  // namespace ecflux::report
