#include "textio/output_file.h"
#include "base/assert.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "base/file_paths.h"
#include "base/stop_signals.h"

namespace ecflux::textio {

namespace {

// Output is collected in blocks of this size before each write(2).
constexpr std::size_t block_size = std::size_t{1} << 20;

// Writes all bytes, resuming after interruptions and short writes. Returns
// how many were written: all of them, or fewer when a write failed.
std::size_t write_all(int fd, const char* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t written = ::write(fd, data + done, size - done);
    if (written < 0) {
      // A write that waits (a pipe nobody reads) gives way to a stop signal.
      if (errno == EINTR && !base::stop_requested()) continue;
      break;
    }
    if (written == 0) break;
    done += static_cast<std::size_t>(written);
  }
  return done;
}

// Opens for writing, waiting as long as the open waits (a FIFO without a
// reader) unless a stop signal arrives.
int open_retrying(const std::string& name, int flags) {
  int fd;
  do {
    fd = ::open(name.c_str(), flags | O_WRONLY | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR && !base::stop_requested());
  return fd;
}

// The failure of an open that failed with errno.
base::Failure open_failure(int unit, std::string path) {
  if (errno == EINTR && base::stop_requested()) return base::Interruption{base::stop_signal()};
  return base::IoFailure{base::open_condition(errno, base::FileUse::writing), unit,
                         std::move(path)};
}

}  // namespace

base::Result<OutputFile> OutputFile::create(std::string_view name, int unit) {
  return open_directly(name, unit);
}

base::Result<OutputFile> OutputFile::open_directly(std::string_view name, int unit) {
  std::string path = base::absolute_path(name);
  const int fd = open_retrying(std::string(name), O_CREAT);
  if (fd < 0) return open_failure(unit, std::move(path));
  OutputFile file(base::Descriptor(fd), unit, std::move(path));
  struct stat status {};
  file.regular_ = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
  if (file.regular_ && ::ftruncate(fd, 0) != 0) return open_failure(unit, file.path_);
  return file;
}

base::Result<OutputFile> OutputFile::open_staged(std::string_view name, int unit,
                                                 std::string_view tag) {
  std::string target = base::resolved_path(name);
  struct stat existing {};
  const bool exists = ::stat(target.c_str(), &existing) == 0;
  if (exists && !S_ISREG(existing.st_mode)) return open_directly(name, unit);
  std::string path = base::absolute_path(name);
  if (exists) {
    // A file the user may not write is refused, as writing it in place
    // would be, although a rename could replace it.
    const int probe = open_retrying(target, O_NONBLOCK);
    if (probe < 0) return open_failure(unit, std::move(path));
    ::close(probe);
  }
  std::string staged = base::staged_path(target, tag);
  int fd = open_retrying(staged, O_CREAT | O_EXCL);
  if (fd < 0 && errno == EEXIST) {
    // A staged file of a run that did not complete, which the lock of the
    // run folder shows is not being written.
    ::unlink(staged.c_str());
    fd = open_retrying(staged, O_CREAT | O_EXCL);
  }
  if (fd < 0) return open_failure(unit, std::move(path));
  if (exists) {
    // The replaced file's permission bits, and its owner where this user may
    // give it; a file of a run that cannot keep them keeps the defaults.
    [[maybe_unused]] const int moded = ::fchmod(fd, existing.st_mode & 07777);
    if (existing.st_uid != ::geteuid() || existing.st_gid != ::getegid()) {
      [[maybe_unused]] const int owned = ::fchown(fd, existing.st_uid, existing.st_gid);
    }
  }
  // Made without taking memory (the buffer comes with the first record), so
  // that once the staged file exists, its object, which removes it, does too.
  OutputFile file(base::Descriptor(fd), unit, std::move(path));
  file.regular_ = true;
  file.staged_path_ = std::move(staged);
  file.target_path_ = std::move(target);
  return file;
}

base::Status OutputFile::check_stageable(std::string_view name, int unit) {
  const std::string target = base::resolved_path(name);
  struct stat existing {};
  if (::stat(target.c_str(), &existing) == 0) {
    if (S_ISDIR(existing.st_mode)) {
      errno = EISDIR;
      return open_failure(unit, base::absolute_path(name));
    }
    if (!S_ISREG(existing.st_mode)) return {};
    const int probe = open_retrying(target, O_NONBLOCK);
    if (probe < 0) return open_failure(unit, base::absolute_path(name));
    ::close(probe);
  }
  // The staged file is created in the target's folder.
  const std::string folder = target.substr(0, target.rfind('/') + 1);
  struct stat status {};
  const bool usable = ::stat(folder.c_str(), &status) == 0 &&
                      (S_ISDIR(status.st_mode) || (errno = ENOTDIR, false)) &&
                      ::access(folder.c_str(), W_OK | X_OK) == 0;
  if (!usable) return open_failure(unit, base::absolute_path(name));
  return {};
}

base::Status OutputFile::finish(bool durable) {
  flush();
  if (durable && fd_.open() && !failure_ && ::fsync(fd_.get()) != 0 && errno != EINVAL) {
    failure_ = base::IoFailure{base::IoCondition::write_error, unit_, path_};
  }
  close();
  return status();
}

base::Status OutputFile::put_in_place() {
  if (staged_path_.empty()) return status();
  if (::rename(staged_path_.c_str(), target_path_.c_str()) != 0) {
    abandon();
    return base::IoFailure{base::IoCondition::write_error, unit_, path_};
  }
  staged_path_.clear();
  return status();
}

void OutputFile::abandon() {
  used_ = 0;
  fd_.close();
  if (!staged_path_.empty()) ::unlink(staged_path_.c_str());
  staged_path_.clear();
}

OutputFile OutputFile::standard_output() {
  OutputFile file(base::Descriptor::borrowed(STDOUT_FILENO), 6, "/dev/stdout");
  struct stat status {};
  file.regular_ = ::fstat(STDOUT_FILENO, &status) == 0 && S_ISREG(status.st_mode);
  return file;
}

// The buffer comes with the first record, so that making the object takes no
// memory that could run out once its file exists.
OutputFile::OutputFile(base::Descriptor fd, int unit, std::string path) noexcept
    : fd_(std::move(fd)), unit_(unit), path_(std::move(path)) {}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : fd_(std::move(other.fd_)),
      unit_(other.unit_),
      path_(std::move(other.path_)),
      regular_(other.regular_),
      staged_path_(std::exchange(other.staged_path_, {})),
      target_path_(std::move(other.target_path_)),
      buffer_(std::move(other.buffer_)),
      used_(std::exchange(other.used_, 0)),
      failure_(std::exchange(other.failure_, std::nullopt)) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
  if (this != &other) {
    release();
    fd_ = std::move(other.fd_);
    unit_ = other.unit_;
    path_ = std::move(other.path_);
    regular_ = other.regular_;
    staged_path_ = std::exchange(other.staged_path_, {});
    target_path_ = std::move(other.target_path_);
    buffer_ = std::move(other.buffer_);
    used_ = std::exchange(other.used_, 0);
    failure_ = std::exchange(other.failure_, std::nullopt);
  }
  return *this;
}

OutputFile::~OutputFile() { release(); }

// A file written directly keeps what was written; a staged file that was
// not put in place is not a result.
void OutputFile::release() {
  if (staged_path_.empty()) {
    close();
  } else {
    abandon();
  }
}

void OutputFile::fail() {
  if (!failure_) failure_ = base::IoFailure{base::IoCondition::write_error, unit_, path_};
  used_ = 0;
}

// Makes room for `length` more characters after the buffered ones: flushes
// when they do not fit, and grows the buffer for a record longer than it.
void OutputFile::reserve(std::size_t length) {
  if (buffer_.size() - used_ >= length) return;
  flush();
  if (buffer_.size() - used_ < length) buffer_.resize(std::max(length, block_size));
}

char* OutputFile::begin_record(std::size_t length) {
  reserve(length + 2);
  record_end_ = used_ + length;
  return buffer_.data() + used_;
}

void OutputFile::end_record(char* end) {
  ECFLUX_ASSERT(end >= buffer_.data() + used_ && end <= buffer_.data() + record_end_,
                "the record ends within the room it was given");
  used_ = static_cast<std::size_t>(end - buffer_.data());
  buffer_[used_++] = '\r';
  buffer_[used_++] = '\n';
}

void OutputFile::write_record(std::string_view text) {
  char* out = begin_record(text.size());
  if (!text.empty()) std::memcpy(out, text.data(), text.size());
  end_record(out + text.size());
}

void OutputFile::write_text(std::string_view text) {
  if (text.size() > block_size) {
    // Large text goes out directly, after what is buffered.
    flush();
    write_out(text.data(), text.size());
    return;
  }
  reserve(text.size());
  std::memcpy(buffer_.data() + used_, text.data(), text.size());
  used_ += text.size();
}

base::Status OutputFile::status() const {
  if (failure_) return *failure_;
  return {};
}

// Writes whole records. When the write stops part way (a full disk, a file
// size limit), a regular file is cut back to the end of the last whole
// record it got, so that every file of a failed run, and standard output
// redirected into a file, ends with a whole record.
void OutputFile::write_out(const char* data, std::size_t size) {
  // After a failure, or once closed, output is dropped.
  if (failure_ || !fd_.open() || size == 0) return;
  const std::size_t done = write_all(fd_.get(), data, size);
  if (done == size) return;
  if (regular_ && done > 0) {
    const auto* last_line_end = static_cast<const char*>(::memrchr(data, '\n', done));
    const std::size_t whole =
        last_line_end ? static_cast<std::size_t>(last_line_end - data) + 1 : 0;
    // The file position stands after the bytes written, also where the file
    // was opened to append; the bytes of the unfinished record go.
    const off_t position = ::lseek(fd_.get(), 0, SEEK_CUR);
    if (position >= 0) {
      // A file that cannot be cut keeps what it got; its failure is
      // reported either way.
      [[maybe_unused]] const int cut =
          ::ftruncate(fd_.get(), position - static_cast<off_t>(done - whole));
    }
  }
  fail();
}

void OutputFile::flush() {
  if (used_ == 0) return;
  write_out(buffer_.data(), used_);
  used_ = 0;
}

void OutputFile::close() {
  flush();
  std::vector<char>().swap(buffer_);
  if (!fd_.owned()) return;
  if (fd_.close() != 0 && !failure_) {
    failure_ = base::IoFailure{base::IoCondition::write_error, unit_, path_};
  }
}

}  // namespace ecflux::textio
