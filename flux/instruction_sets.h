#pragma once

// The builds of the window sweep's inner loops, one per instruction set, each
// described once here, widest first: the sweep takes the first one that the
// processor and the operating system support.

#include <span>
#include <string_view>

#include "flux/sweep_kernel.h"

namespace ecflux::flux {

using SweepKernel = void (*)(const SweepTask&);

struct Implementation {
  std::string_view name;         // "plain", "avx2", "avx512"
  std::string_view description;  // for people
  int lanes;                     // blocks per register
  bool (*supported)();           // by this processor and operating system
  SweepKernel kernel;
  // A batch of at most narrower->lanes blocks is swept with this one instead,
  // when it is supported: half an empty register costs as much as a full one.
  const Implementation* narrower;
};

// Every build, in priority order: the widest first.
std::span<const Implementation* const> implementations();

// The first supported build; the plain one is supported everywhere.
const Implementation& best_implementation();

// The build of that name, or nullptr.
const Implementation* find_implementation(std::string_view name);

}  // namespace ecflux::flux
