#include "base/available_memory.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <string_view>

#include "base/descriptor.h"

namespace ecflux::base {
namespace {

// The start of a small system file. Plain reads: this is asked where
// descriptors or memory may be short.
std::string_view read_start(const char* path, char (&buffer)[4096]) {
  const Descriptor descriptor(::open(path, O_RDONLY | O_CLOEXEC));
  if (!descriptor.open()) return {};
  const ssize_t length = ::read(descriptor.get(), buffer, sizeof buffer);
  return length > 0 ? std::string_view(buffer, static_cast<std::size_t>(length))
                    : std::string_view();
}

// The number at the start of `text` (after blanks), or nullopt ("max").
std::optional<std::uint64_t> leading_number(std::string_view text) {
  const auto begin = text.find_first_not_of(' ');
  if (begin == std::string_view::npos) return std::nullopt;
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data() + begin, text.data() + text.size(), value);
  if (error != std::errc() || end == text.data() + begin) return std::nullopt;
  return value;
}

// The first number of a file such as memory.max, or nullopt ("max", no file).
std::optional<std::uint64_t> number_in(const char* path) {
  char buffer[4096];
  return leading_number(read_start(path, buffer));
}

std::optional<std::uint64_t> meminfo_available() {
  char buffer[4096];
  const std::string_view meminfo = read_start("/proc/meminfo", buffer);
  constexpr std::string_view key = "MemAvailable:";
  const auto at = meminfo.find(key);
  if (at == std::string_view::npos) return std::nullopt;
  const auto kilobytes = leading_number(meminfo.substr(at + key.size()));
  if (!kilobytes) return std::nullopt;
  return *kilobytes * 1024;
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
  const std::uint64_t pages = number_in("/proc/self/statm").value_or(0);
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

}  // namespace ecflux::base
