#include "qc/missing_values.h"
#include "base/assert.h"

#include <algorithm>
#include <cmath>

#include "qc/gap_filling.h"

namespace ecflux::qc {
namespace {

std::int64_t count_marked(std::span<const std::uint8_t> marks) {
  return std::count_if(marks.begin(), marks.end(), [](std::uint8_t mark) { return mark != 0; });
}

}  // namespace

bool is_missing(double file_value, std::span<const double> fill_values) {
  if (!std::isfinite(file_value)) return true;
  return std::find(fill_values.begin(), fill_values.end(), file_value) != fill_values.end();
}

void mark_missing(std::span<const double> file_values, std::span<const double> fill_values,
                  std::span<std::uint8_t> marks) {
  ECFLUX_ASSERT(file_values.size() == marks.size(), "a mark for every value");
  for (std::size_t i = 0; i < file_values.size(); ++i) {
    marks[i] = is_missing(file_values[i], fill_values) ? 1 : 0;
  }
}

MissingSummary fill_missing(BlockSeries series, MissingMarks marks, double allowance_percent) {
  const std::size_t n = series.w.size();
  ECFLUX_ASSERT(series.u.size() == n && series.v.size() == n && series.temperature.size() == n,
                "the four series are of one length");
  ECFLUX_ASSERT(marks.u.size() == n && marks.v.size() == n && marks.w.size() == n &&
                    marks.temperature.size() == n,
                "a mark for every value of every series");

  MissingSummary summary;
  summary.samples = static_cast<std::int64_t>(n);
  summary.missing = {count_marked(marks.u), count_marked(marks.v), count_marked(marks.w),
                     count_marked(marks.temperature)};
  for (std::size_t i = 0; i < n; ++i) {
    if ((marks.u[i] | marks.v[i] | marks.w[i] | marks.temperature[i]) != 0) {
      ++summary.missing_samples;
    }
  }
  if (summary.missing_samples == 0) return summary;

  const auto all_missing = [&](std::int64_t count) { return count == summary.samples; };
  summary.beyond_allowance = static_cast<double>(summary.missing_samples) * 100.0 >
                                 allowance_percent * static_cast<double>(summary.samples) ||
                             all_missing(summary.missing.u) || all_missing(summary.missing.v) ||
                             all_missing(summary.missing.w) ||
                             all_missing(summary.missing.temperature);
  if (summary.beyond_allowance) return summary;

  interpolate_marked(series.u, marks.u);
  interpolate_marked(series.v, marks.v);
  interpolate_marked(series.w, marks.w);
  interpolate_marked(series.temperature, marks.temperature);
  return summary;
}

}  // namespace ecflux::qc
