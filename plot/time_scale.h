#pragma once

// How the charts show the data file's times. The run judges their unit
// (run.json's data.time_unit); with it, a time axis shows the time since the
// first sample in minutes, hours or days, whichever suits the record's
// length. Without it (a run of an earlier version), the times are shown as
// the data file has them, in a unit the plots do not know.

#include <optional>
#include <string>
#include <string_view>

namespace ecflux::plot {

struct TimeScale {
  double origin = 0.0;      // the data file's time of the first sample
  double per_unit = 1.0;    // axis units per unit of the data file's times
  double per_second = 1.0;  // axis units per second
  std::string symbol;       // of the axis unit: "min", "h", "d"; empty without one

  bool since_first_sample() const { return !symbol.empty(); }
  // A time of the data file on the axis.
  double axis_time(double data_time) const { return (data_time - origin) * per_unit; }
  // Seconds since the first sample on the axis.
  double axis_seconds(double seconds) const { return seconds * per_second; }
};

// The scale for times in the unit named `unit_name` ("seconds" ... "days",
// as run.json names it) from `first` to `last`: minutes for a record of up
// to two hours, hours for one of up to three days, days beyond. The data
// file's own times for a unit not known or a first time missing.
TimeScale time_scale(std::string_view unit_name, std::optional<double> first,
                     std::optional<double> last);

}  // namespace ecflux::plot
