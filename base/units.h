#pragma once

// Units that more than one part of the system converts with.

namespace ecflux::base {

// The window-flux table gives covariances per day (K·m/day); a data file's
// times may be in seconds, minutes, hours or days.
inline constexpr double seconds_per_minute = 60.0;
inline constexpr double seconds_per_hour = 3600.0;
inline constexpr double seconds_per_day = 86400.0;

}  // namespace ecflux::base
