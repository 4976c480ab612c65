#pragma once

// Checks that need what a build or a machine may lack skip without it; where
// the environment variable ECFLUX_REQUIRED_CHECKS names the check (a list
// separated by blanks or commas, as CI sets it), the skip is a failure
// instead, so that a missing part cannot pass unnoticed.

#include <gtest/gtest.h>

#include <string_view>

namespace ecflux::testing {

// The copy of ecflux built without optimisation (-DECFLUX_UNOPTIMISED_CHECK=ON).
inline constexpr std::string_view unoptimised_check = "unoptimised";
// Headless Chromium, which shows the plots and the report page as a browser does.
inline constexpr std::string_view chromium_check = "chromium";

// Whether ECFLUX_REQUIRED_CHECKS names `check`.
bool check_required(std::string_view check);

}  // namespace ecflux::testing

// Ends the current test for want of `check`'s part: skipped, or failed where
// the check is required.
#define ECFLUX_SKIP_OR_FAIL(check, reason)                                               \
  do {                                                                                   \
    if (::ecflux::testing::check_required(check)) {                                      \
      FAIL() << (reason) << ", and ECFLUX_REQUIRED_CHECKS requires the check " << check; \
    }                                                                                    \
    GTEST_SKIP() << (reason);                                                            \
  } while (false)
