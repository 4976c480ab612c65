#pragma once

// A lack of memory as a failure of the step that met it, so that
// ecflux-plot ends with one line naming what it was doing, as for any other
// failure, instead of being aborted.

#include <initializer_list>
#include <new>
#include <string>
#include <string_view>

#include "base/result.h"

namespace ecflux::plot {

// Runs `step`, which gives a base::Result, and turns a lack of memory in it
// into "out of memory while DOING /data/run/Cospectra.out" (the files joined
// by "and"). The message is made once the step's memory is given back.
template <class Step>
auto guarding_memory(std::string_view doing, std::initializer_list<std::string_view> files,
                     Step step) -> decltype(step()) {
  try {
    return step();
  } catch (const std::bad_alloc&) {
    std::string message = "out of memory while " + std::string(doing);
    const char* joint = " ";
    for (const std::string_view file : files) {
      message += joint + base::absolute_path(file);
      joint = " and ";
    }
    return base::ResourceFailure{std::move(message)};
  }
}

}  // namespace ecflux::plot
