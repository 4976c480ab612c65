// The list of checks that may not be skipped, as CI gives it: a check it
// fails to recognise would let CI pass a test that never ran.

#include <gtest/gtest.h>

#include <stdlib.h>

#include "tests/support/required_checks.h"

namespace ecflux {
namespace {

using testing::check_required;

TEST(RequiredChecks, NamesAreMatchedWholeInListsSeparatedByBlanksOrCommas) {
  ASSERT_EQ(unsetenv("ECFLUX_REQUIRED_CHECKS"), 0);
  EXPECT_FALSE(check_required("chromium"));

  ASSERT_EQ(setenv("ECFLUX_REQUIRED_CHECKS", "unoptimised chromium", 1), 0);
  EXPECT_TRUE(check_required(testing::unoptimised_check));
  EXPECT_TRUE(check_required(testing::chromium_check));

  ASSERT_EQ(setenv("ECFLUX_REQUIRED_CHECKS", " ,chromium,, unoptimised, ", 1), 0);
  EXPECT_TRUE(check_required("unoptimised"));
  EXPECT_TRUE(check_required("chromium"));

  ASSERT_EQ(setenv("ECFLUX_REQUIRED_CHECKS", "chromium-old unoptimise", 1), 0);
  EXPECT_FALSE(check_required("chromium"));
  EXPECT_FALSE(check_required("unoptimised"));

  ASSERT_EQ(setenv("ECFLUX_REQUIRED_CHECKS", "", 1), 0);
  EXPECT_FALSE(check_required("chromium"));
}

}  // namespace
}  // namespace ecflux
