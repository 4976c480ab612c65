#include "tests/support/required_checks.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace ecflux::testing {

bool check_required(std::string_view check) {
  const char* variable = std::getenv("ECFLUX_REQUIRED_CHECKS");
  if (variable == nullptr) return false;
  const std::string_view list = variable;
  constexpr std::string_view separators = " ,";
  for (std::size_t at = list.find_first_not_of(separators); at != std::string_view::npos;) {
    const std::size_t end = std::min(list.find_first_of(separators, at), list.size());
    if (list.substr(at, end - at) == check) return true;
    at = list.find_first_not_of(separators, end);
  }
  return false;
}

}  // namespace ecflux::testing
