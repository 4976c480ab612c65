#include "plot/time_scale.h"

#include <cmath>

#include "base/units.h"
#include "input/data_warnings.h"

namespace ecflux::plot {
namespace {

struct AxisUnit {
  std::string_view symbol;
  double seconds;
  double longest_record;  // seconds: the longest record shown in this unit
};

constexpr AxisUnit axis_units[] = {{"min", base::seconds_per_minute, 2 * base::seconds_per_hour},
                                   {"h", base::seconds_per_hour, 3 * base::seconds_per_day},
                                   {"d", base::seconds_per_day, INFINITY}};

}  // namespace

TimeScale time_scale(std::string_view unit_name, std::optional<double> first,
                     std::optional<double> last) {
  if (!first || !std::isfinite(*first)) return {};
  for (const input::TimeUnit& unit : input::time_units) {
    if (unit.name != unit_name) continue;
    const double span = last && std::isfinite(*last) ? (*last - *first) * unit.seconds : 0.0;
    for (const AxisUnit& axis : axis_units) {
      if (!(std::abs(span) <= axis.longest_record)) continue;
      return {*first, unit.seconds / axis.seconds, 1.0 / axis.seconds, std::string(axis.symbol)};
    }
  }
  return {};
}

}  // namespace ecflux::plot
