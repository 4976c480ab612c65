#include "plot/cumulative_plot.h"

#include <optional>
#include <string>
#include <vector>

#include "input/data_warnings.h"
#include "plot/fit.h"
#include "plot/notes.h"

namespace ecflux::plot {
namespace {

constexpr std::string_view time_room = "; TIME has room for values below 1000 only.";

// What the time since the first sample stands for, and why it is drawn.
std::vector<std::optional<std::string>> sample_time_notes(const SampleClock& clock,
                                                          const CumulativeSeries& plain,
                                                          const CumulativeSeries& shifted) {
  const std::string rate = "fs = " + number_text(clock.sample_rate()) + " Hz.";
  return {
      "TIME is written as asterisks in " + input::with_thousands(plain.asterisk_times()) +
          " rows of " + plain.file_label + " and " +
          input::with_thousands(shifted.asterisk_times()) + " of " + shifted.file_label + ".",
      std::string("So each row is drawn at its time since the first sample: its block's start "
                  "plus its sample in the block / fs."),
      clock.time_unit() ? "Blocks start where their mean times say (taken to be in " +
                              std::string(clock.time_unit()->name) + "); " + rate
                        : "Blocks are taken to follow each other without gaps; " + rate,
      skip_note(plain.file_label, {{"CUMFLUX", plain.flux_of_every_row}}, "TIME"),
      skip_note(shifted.file_label, {{"CUMFLUX", shifted.flux_of_every_row}}, "TIME"),
  };
}

// The points with each x turned by `to_axis`.
template <class ToAxis>
Pieces<Point> on_axis(Pieces<Point> points, ToAxis to_axis) {
  for (auto& segment : points.segments)
    for (Point& point : segment) point.x = to_axis(point.x);
  return points;
}

}  // namespace

Chart cumulative_flux_chart(const CumulativeSeries& plain, const CumulativeSeries& shifted,
                            const SampleClock* clock, const TimeScale& time) {
  Chart chart;
  chart.title = "Cumulative flux over the record";
  chart.subtitle = "CUMFLUX, the running total of COVAR / fs: about the running means (" +
                   plain.file_label +
                   "), and\n"
                   "with the temperature delayed to each block's RUNMIN (" +
                   shifted.file_label + ").";
  chart.x_title = "sample time TIME (" + std::string(data_time_unit) + ")";
  chart.y_title = "CUMFLUX (K·m)";
  const bool by_sample = clock && (plain.time_cut_short() || shifted.time_cut_short());
  const auto series = [&](const CumulativeSeries& file) {
    if (!time.since_first_sample()) return by_sample ? file.by_sample : file.by_time;
    if (by_sample) return on_axis(file.by_sample, [&](double x) { return time.axis_seconds(x); });
    return on_axis(file.by_time, [&](double x) { return time.axis_time(x); });
  };
  chart.lines.push_back({plain.file_label, palette[0], Marker::none, series(plain)});
  chart.lines.push_back({shifted.file_label, palette[3], Marker::none, series(shifted)});
  if (time.since_first_sample()) {
    chart.x_title = "time since the first sample (" + time.symbol + ")";
  } else if (by_sample) {
    chart.x_title = "time since the first sample (s)";
  }
  if (by_sample) {
    add_notes(chart, sample_time_notes(*clock, plain, shifted), time_room);
  } else {
    add_notes(chart,
              {skip_note(plain.file_label, plain.skipped, "TIME"),
               skip_note(shifted.file_label, shifted.skipped, "TIME")},
              time_room);
  }
  chart.empty_message =
      plain.rows + shifted.rows == 0
          ? "No complete block in this run: " + plain.file_label + " and " + shifted.file_label +
                " have no rows."
          : "No value of " + plain.file_label + " or " + shifted.file_label + " could be plotted.";
  fit_to_drawing(chart);
  return chart;
}

}  // namespace ecflux::plot
