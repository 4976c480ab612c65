#include "plot/notes.h"

#include <cmath>
#include <cstdio>

#include "input/data_warnings.h"

namespace ecflux::plot {
namespace {

constexpr std::string_view asterisk_explanation =
    "Asterisks stand for a value too wide for its field in the file";

}  // namespace

std::string number_text(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

std::string flux_text(double value) {
  if (std::abs(value) >= 1000.0 && std::abs(value) < 9e18) {
    return input::with_thousands(static_cast<std::int64_t>(std::llround(value)));
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.4g", value);
  return text;
}

std::string plural(std::int64_t count, std::string_view one, std::string_view many) {
  return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

std::optional<std::string> skip_note(const std::string& file,
                                     const std::vector<SkippedColumn>& columns,
                                     std::string_view row_column) {
  std::string parts;
  for (const auto& column : columns) {
    const auto add = [&](std::int64_t count, std::string_view what) {
      if (count == 0) return;
      if (!parts.empty()) parts += ", ";
      parts += plural(count, column.name + " value", column.name + " values");
      parts += what;
      if (column.name == row_column)
        parts += count == 1 ? " (its row is left out)" : " (their rows are left out)";
    };
    add(column.count.asterisks, " written as asterisks");
    add(column.count.not_a_number, " not a number");
  }
  if (parts.empty()) return std::nullopt;
  return "Not plotted from " + file + ": " + parts + ".";
}

void add_notes(Chart& chart, const std::vector<std::optional<std::string>>& notes,
               std::string_view asterisk_detail) {
  bool asterisks = false;
  for (const auto& note : notes) {
    if (!note) continue;
    chart.notes.push_back(*note);
    asterisks = asterisks || note->find("asterisks") != std::string::npos;
  }
  if (asterisks)
    chart.notes.push_back(std::string(asterisk_explanation) + std::string(asterisk_detail));
}

}  // namespace ecflux::plot
