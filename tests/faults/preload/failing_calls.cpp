// Preloaded into ecflux by the fault tests (LD_PRELOAD), never linked into
// it: makes one chosen call of write, read, fsync or rename fail, or wait
// there until the program has caught a stop signal, so that a test sees what
// a run does when the system fails it, or stops it, at exactly that point.
// The program has no hook of its own for this.
//
// The process's environment chooses the call:
//   FAILING_CALL  "KIND N" or "KIND N NAME": the Nth call of KIND (write,
//                 read, fsync, rename) fails, counting only calls on a file
//                 whose path ends in NAME when NAME is given. A write fails
//                 with ENOSPC, the others with EIO.
//   PAUSING_CALL  the same form: that call waits until the program's stop
//                 signals are no longer caught (its handler has run and put
//                 back their default), at most a minute, and is then made.
//   CALLS_REPORT  a file outside the run folder: the chosen call, when it
//                 comes, writes "KIND PATH" into it (the path of the file it
//                 was made on), so that the test knows it came and where.
// Counted are writes on every descriptor but standard error (standard output
// is a file of the run), and reads of the run's files, not of the system's
// information under /proc and /sys.

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

enum class Kind { write, read, fsync, rename, none };

struct Choice {
  Kind kind = Kind::none;
  long number = 0;
  char name[256] = {};
};

Kind kind_named(const char* text) {
  if (std::strcmp(text, "write") == 0) return Kind::write;
  if (std::strcmp(text, "read") == 0) return Kind::read;
  if (std::strcmp(text, "fsync") == 0) return Kind::fsync;
  if (std::strcmp(text, "rename") == 0) return Kind::rename;
  return Kind::none;
}

Choice choice_from(const char* variable) {
  Choice choice;
  const char* text = std::getenv(variable);
  char kind[16] = {};
  if (text == nullptr ||
      std::sscanf(text, "%15s %ld %255s", kind, &choice.number, choice.name) < 2) {
    return choice;
  }
  choice.kind = kind_named(kind);
  return choice;
}

// Read once, before main, while the process has one thread.
Choice failing;
Choice pausing;
const char* report_path = nullptr;
std::atomic<long> failing_seen{0};
std::atomic<long> pausing_seen{0};

__attribute__((constructor)) void read_choices() {
  failing = choice_from("FAILING_CALL");
  pausing = choice_from("PAUSING_CALL");
  report_path = std::getenv("CALLS_REPORT");
}

template <class Function>
Function real(const char* name) {
  return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

using WriteFunction = ssize_t (*)(int, const void*, size_t);
using ReadFunction = ssize_t (*)(int, void*, size_t);
using FsyncFunction = int (*)(int);
using RenameFunction = int (*)(const char*, const char*);

// The path of an open descriptor, or "" when it has none.
void descriptor_path(int descriptor, char (&path)[4096]) {
  char link[64];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", descriptor);
  const ssize_t length = ::readlink(link, path, sizeof path - 1);
  path[length > 0 ? length : 0] = '\0';
}

bool ends_with(const char* text, const char* end) {
  const std::size_t text_length = std::strlen(text);
  const std::size_t end_length = std::strlen(end);
  return end_length <= text_length && std::strcmp(text + text_length - end_length, end) == 0;
}

// Whether this call is the chosen one of `choice`, counting it when it is of
// its kind and on its file.
bool chosen(const Choice& choice, std::atomic<long>& seen, Kind kind, const char* path) {
  if (choice.kind != kind) return false;
  if (choice.name[0] != '\0' && !ends_with(path, choice.name)) return false;
  return seen.fetch_add(1) + 1 == choice.number;
}

const char* kind_text(Kind kind) {
  switch (kind) {
    case Kind::write: return "write";
    case Kind::read: return "read";
    case Kind::fsync: return "fsync";
    case Kind::rename: return "rename";
    case Kind::none: break;
  }
  return "";
}

void report(Kind kind, const char* path) {
  if (report_path == nullptr) return;
  const int descriptor = ::open(report_path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (descriptor < 0) return;
  char line[4200];
  const int length = std::snprintf(line, sizeof line, "%s %s\n", kind_text(kind), path);
  static const auto write_function = real<WriteFunction>("write");
  [[maybe_unused]] const ssize_t written =
      write_function(descriptor, line, static_cast<std::size_t>(length));
  ::close(descriptor);
}

// Waits until the program has noted a stop: its handler puts back the
// default action of the stop signals. Without a handler there is nothing to
// wait for.
void wait_for_a_stop() {
  struct sigaction current {};
  ::sigaction(SIGTERM, nullptr, &current);
  if (current.sa_handler == SIG_DFL || current.sa_handler == SIG_IGN) return;
  for (int i = 0; i < 60'000; ++i) {
    ::sigaction(SIGTERM, nullptr, &current);
    if (current.sa_handler == SIG_DFL) return;
    const timespec millisecond{0, 1'000'000};
    ::nanosleep(&millisecond, nullptr);
  }
}

// Whether the call fails; a paused call waits here first.
bool intercept(Kind kind, const char* path) {
  if (chosen(pausing, pausing_seen, kind, path)) {
    report(kind, path);
    wait_for_a_stop();
  }
  if (!chosen(failing, failing_seen, kind, path)) return false;
  report(kind, path);
  return true;
}

bool system_information(const char* path) {
  return std::strncmp(path, "/proc/", 6) == 0 || std::strncmp(path, "/sys/", 5) == 0;
}

}  // namespace

extern "C" ssize_t write(int descriptor, const void* data, size_t size) {
  static const auto real_write = real<WriteFunction>("write");
  if (descriptor != STDERR_FILENO && (failing.kind == Kind::write || pausing.kind == Kind::write)) {
    char path[4096];
    descriptor_path(descriptor, path);
    if (intercept(Kind::write, path)) {
      errno = ENOSPC;
      return -1;
    }
  }
  return real_write(descriptor, data, size);
}

extern "C" ssize_t read(int descriptor, void* data, size_t size) {
  static const auto real_read = real<ReadFunction>("read");
  if (descriptor > STDERR_FILENO && (failing.kind == Kind::read || pausing.kind == Kind::read)) {
    char path[4096];
    descriptor_path(descriptor, path);
    if (!system_information(path) && intercept(Kind::read, path)) {
      errno = EIO;
      return -1;
    }
  }
  return real_read(descriptor, data, size);
}

extern "C" int fsync(int descriptor) {
  static const auto real_fsync = real<FsyncFunction>("fsync");
  if (failing.kind == Kind::fsync || pausing.kind == Kind::fsync) {
    char path[4096];
    descriptor_path(descriptor, path);
    if (intercept(Kind::fsync, path)) {
      errno = EIO;
      return -1;
    }
  }
  return real_fsync(descriptor);
}

extern "C" int rename(const char* from, const char* to) noexcept {
  static const auto real_rename = real<RenameFunction>("rename");
  if (intercept(Kind::rename, from)) {
    errno = EIO;
    return -1;
  }
  return real_rename(from, to);
}
