#include "textio/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstring>
#include <utility>

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
      if (errno == EINTR) continue;
      break;
    }
    if (written == 0) break;
    done += static_cast<std::size_t>(written);
  }
  return done;
}

int open_retrying(const std::string& name, int flags) {
  int fd;
  do {
    fd = ::open(name.c_str(), flags | O_WRONLY | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

}  // namespace

Result<OutputFile> OutputFile::create(std::string_view name, int unit) {
  auto file = open_for_replacement(name, unit);
  if (!file.ok()) return file;
  if (auto replaced = file.value().replace(); !replaced.ok()) return std::move(replaced.failure());
  return file;
}

Result<OutputFile> OutputFile::open_for_replacement(std::string_view name, int unit) {
  std::string path = absolute_path(name);
  const std::string os_name(name);
  // A file that this open creates is known as such, so that discard() can
  // take it away again.
  bool created = true;
  int fd = open_retrying(os_name, O_CREAT | O_EXCL);
  if (fd < 0 && errno == EEXIST) {
    created = false;
    fd = open_retrying(os_name, O_CREAT);
  }
  if (fd < 0) {
    const IoCondition condition = (errno == EACCES || errno == EPERM)
                                      ? IoCondition::permission_denied
                                      : IoCondition::open_failure;
    return IoFailure{condition, unit, std::move(path)};
  }
  OutputFile file(fd, unit, std::move(path), true);
  struct stat status {};
  file.regular_ = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
  file.created_ = created;
  return file;
}

Status OutputFile::replace() {
  created_ = false;
  if (regular_ && ::ftruncate(fd_, 0) != 0) {
    const IoCondition condition = (errno == EACCES || errno == EPERM)
                                      ? IoCondition::permission_denied
                                      : IoCondition::open_failure;
    return IoFailure{condition, unit_, path_};
  }
  return {};
}

void OutputFile::discard() {
  used_ = 0;
  if (fd_ >= 0 && owns_fd_) ::close(std::exchange(fd_, -1));
  if (created_) ::unlink(path_.c_str());
  created_ = false;
}

OutputFile OutputFile::standard_output() {
  return OutputFile(STDOUT_FILENO, 6, "/dev/stdout", false);
}

OutputFile::OutputFile(int fd, int unit, std::string path, bool owns_fd)
    : fd_(fd), unit_(unit), path_(std::move(path)), owns_fd_(owns_fd) {
  buffer_.resize(block_size);
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      unit_(other.unit_),
      path_(std::move(other.path_)),
      owns_fd_(std::exchange(other.owns_fd_, false)),
      regular_(other.regular_),
      created_(std::exchange(other.created_, false)),
      buffer_(std::move(other.buffer_)),
      used_(std::exchange(other.used_, 0)),
      written_(other.written_),
      failure_(std::exchange(other.failure_, std::nullopt)) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = std::exchange(other.fd_, -1);
    unit_ = other.unit_;
    path_ = std::move(other.path_);
    owns_fd_ = std::exchange(other.owns_fd_, false);
    regular_ = other.regular_;
    created_ = std::exchange(other.created_, false);
    buffer_ = std::move(other.buffer_);
    used_ = std::exchange(other.used_, 0);
    written_ = other.written_;
    failure_ = std::exchange(other.failure_, std::nullopt);
  }
  return *this;
}

OutputFile::~OutputFile() { close(); }

void OutputFile::fail() {
  if (!failure_) failure_ = IoFailure{IoCondition::write_error, unit_, path_};
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
  assert(end >= buffer_.data() + used_ && end <= buffer_.data() + record_end_);
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

Status OutputFile::status() const {
  if (failure_) return *failure_;
  return {};
}

// Writes whole records. When the write stops part way (a full disk, a file
// size limit), the file is cut back to the end of the last whole record it
// got, so that every file of a failed run ends with a whole record.
void OutputFile::write_out(const char* data, std::size_t size) {
  // After a failure, or once closed, output is dropped.
  if (failure_ || fd_ < 0 || size == 0) return;
  const std::size_t done = write_all(fd_, data, size);
  if (done == size) {
    written_ += done;
    return;
  }
  if (regular_) {
    const auto* last_line_end = static_cast<const char*>(::memrchr(data, '\n', done));
    written_ += last_line_end ? static_cast<std::size_t>(last_line_end - data) + 1 : 0;
    // A file that cannot be cut keeps what it got; its failure is reported
    // either way.
    [[maybe_unused]] const int cut = ::ftruncate(fd_, static_cast<off_t>(written_));
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
  if (fd_ < 0 || !owns_fd_) return;
  const int fd = std::exchange(fd_, -1);
  // close(2) is not retried after EINTR: the descriptor is gone either way.
  if (::close(fd) != 0 && !failure_) {
    failure_ = IoFailure{IoCondition::write_error, unit_, path_};
  }
}

}  // namespace ecflux::textio
