#include "textio/available_memory.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>

namespace ecflux::textio {
namespace {

// The first number of a file such as memory.max, or nullopt ("max", no file).
std::optional<std::uint64_t> number_in(const char* path) {
  std::ifstream file(path);
  std::uint64_t value = 0;
  if (!(file >> value)) return std::nullopt;
  return value;
}

std::optional<std::uint64_t> meminfo_available() {
  std::ifstream meminfo("/proc/meminfo");
  std::string key;
  std::uint64_t kilobytes = 0;
  std::string unit;
  while (meminfo >> key >> kilobytes >> unit) {
    if (key == "MemAvailable:") return kilobytes * 1024;
  }
  return std::nullopt;
}

// What is left below the limit of the control group, version 2 or 1; nullopt
// without a limit.
std::optional<std::uint64_t> cgroup_room() {
  struct Files {
    const char* limit;
    const char* usage;
  };
  constexpr Files versions[] = {
      {"/sys/fs/cgroup/memory.max", "/sys/fs/cgroup/memory.current"},
      {"/sys/fs/cgroup/memory/memory.limit_in_bytes",
       "/sys/fs/cgroup/memory/memory.usage_in_bytes"},
  };
  // A limit this high means none (version 1 writes "no limit" so).
  constexpr std::uint64_t no_limit = std::uint64_t{1} << 60;
  for (const Files& files : versions) {
    const auto limit = number_in(files.limit);
    if (!limit || *limit >= no_limit) continue;
    const std::uint64_t usage = number_in(files.usage).value_or(0);
    return *limit > usage ? *limit - usage : 0;
  }
  return std::nullopt;
}

// What is left below the process's limit of address space (ulimit -v).
std::optional<std::uint64_t> address_space_room() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return std::nullopt;
  std::ifstream statm("/proc/self/statm");
  std::uint64_t pages = 0;
  statm >> pages;
  const std::uint64_t used = pages * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
  return limit.rlim_cur > used ? limit.rlim_cur - used : 0;
}

}  // namespace

std::optional<std::uint64_t> available_memory() {
  std::optional<std::uint64_t> least;
  for (const auto room : {meminfo_available(), cgroup_room(), address_space_room()}) {
    if (room && (!least || *room < *least)) least = room;
  }
  return least;
}

}  // namespace ecflux::textio
