#pragma once

// A precondition that the code relies on: checked in every build type (the
// check costs nothing measurable where it stands), and on failure the
// program ends at once with the condition, the file, the line and why.

#include <cstdio>
#include <cstdlib>

#include "base/program.h"

namespace ecflux::base {

[[noreturn]] inline void assertion_failed(const char* condition, const char* file, int line,
                                          const char* message) {
  std::fprintf(stderr, "%.*s: internal error: %s:%d: %s (%s)\n",
               static_cast<int>(program_name.size()), program_name.data(), file, line, message,
               condition);
  std::abort();
}

}  // namespace ecflux::base

#define ECFLUX_ASSERT(condition, message) \
  ((condition) ? static_cast<void>(0)     \
               : ::ecflux::base::assertion_failed(#condition, __FILE__, __LINE__, message))
