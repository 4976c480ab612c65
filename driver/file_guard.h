#pragma once

// The guard against a run that would lose data: an output file that would
// replace an input or another output, or standard output that is one of the
// run's files.

#include <string>
#include <string_view>

#include "input/configuration.h"
#include "textio/result.h"

namespace ecflux::driver {

// The absolute path that a name leads to, relative to the working directory:
// every symbolic link followed, a dangling one included, and "." and ".."
// taken away, also where the file or its folders do not exist yet.
std::string resolved_path(std::string_view name);

// Whether two names lead to one file: the same device and inode when both
// exist, else the same resolved path.
bool same_file(std::string_view a, std::string_view b);

// Refuses a run in which creating an output would replace the data file,
// the configuration file or another output (the CSV files among them with
// `csv`), or in which standard output is one of these files: before anything
// is written, with one line naming both.
textio::Status check_files_are_distinct(const input::Configuration& config, bool csv = false);

// An advisory lock on the configuration file of the run folder, held while a
// run writes there and released by the kernel when the process ends, however
// it ends. It leaves no file behind.
class RunLock {
 public:
  RunLock() = default;
  explicit RunLock(int descriptor) : descriptor_(descriptor) {}
  RunLock(RunLock&& other) noexcept;
  RunLock& operator=(RunLock&& other) noexcept;
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;
  ~RunLock();

 private:
  int descriptor_ = -1;
};

// Takes the lock, or refuses the run when another run holds it ("another run
// is writing in FOLDER"). Where the file system has no such locks, the run
// goes on without one.
textio::Result<RunLock> lock_run_folder();

}  // namespace ecflux::driver
