#include "base/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

#include "base/file_paths.h"

namespace ecflux::base {
namespace {

int open_working_folder() {
  int descriptor;
  do {
    descriptor = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  } while (descriptor < 0 && errno == EINTR);
  return descriptor;
}

// Takes the lock of `operation` without waiting: the descriptor that holds
// it, -1 when the file system cannot lock (the program goes on without), or
// -2 when another process holds a lock that excludes this one.
int try_lock(int operation) {
  const int descriptor = open_working_folder();
  if (descriptor < 0) return -1;
  int result;
  do {
    result = ::flock(descriptor, operation | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result == 0) return descriptor;
  const int error = errno;
  ::close(descriptor);
  return error == EWOULDBLOCK ? -2 : -1;
}

}  // namespace

Result<FolderLock> lock_folder_for_writing() {
  const int descriptor = try_lock(LOCK_EX);
  if (descriptor >= 0) return FolderLock{Descriptor(descriptor)};
  if (descriptor == -1) return FolderLock();
  // A shared lock that can be had means the holders are readers.
  if (const Descriptor reader(try_lock(LOCK_SH)); reader.open()) {
    return Refusal{"ecflux-plot or ecflux --check is reading the files of " + working_folder() +
                   "; nothing was written (run again when it has finished)"};
  }
  return Refusal{"another run is writing in " + working_folder() + "; nothing was written"};
}

Result<FolderLock> lock_folder_for_reading(std::string_view consequence) {
  const int descriptor = try_lock(LOCK_SH);
  if (descriptor >= 0) return FolderLock{Descriptor(descriptor)};
  if (descriptor == -1) return FolderLock();
  return Refusal{"a run is writing in " + working_folder() + std::string(consequence)};
}

}  // namespace ecflux::base
