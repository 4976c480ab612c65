#pragma once

// How much more memory this process can have without being killed for it.

#include <cstdint>
#include <optional>

namespace ecflux::base {

// The memory that the system can still give, in bytes: what it counts as
// available (MemAvailable), or less where a control group or a limit of the
// process's address space (ulimit -v) leaves less. nullopt when none of them
// can be read.
std::optional<std::uint64_t> available_memory();

}  // namespace ecflux::base
