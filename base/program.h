#pragma once

#include <string_view>

namespace ecflux::base {

// The program's name, with which its lines on standard error begin.
inline constexpr std::string_view program_name = "ecflux";

}  // namespace ecflux::base
