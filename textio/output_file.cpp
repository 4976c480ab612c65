#include "textio/output_file.h"

#include <fcntl.h>
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

// Writes all bytes, resuming after interruptions and short writes.
bool write_all(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t done = ::write(fd, data, size);
    if (done < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (done == 0) return false;
    data += done;
    size -= static_cast<std::size_t>(done);
  }
  return true;
}

}  // namespace

Result<OutputFile> OutputFile::create(std::string_view name, int unit) {
  std::string path = absolute_path(name);
  const std::string os_name(name);
  int fd;
  do {
    fd = ::open(os_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    const IoCondition condition = (errno == EACCES || errno == EPERM)
                                      ? IoCondition::permission_denied
                                      : IoCondition::open_failure;
    return IoFailure{condition, unit, std::move(path)};
  }
  return OutputFile(fd, unit, std::move(path), true);
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
      buffer_(std::move(other.buffer_)),
      used_(std::exchange(other.used_, 0)),
      failure_(std::move(other.failure_)) {
  other.failure_.reset();
}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = std::exchange(other.fd_, -1);
    unit_ = other.unit_;
    path_ = std::move(other.path_);
    owns_fd_ = std::exchange(other.owns_fd_, false);
    buffer_ = std::move(other.buffer_);
    used_ = std::exchange(other.used_, 0);
    failure_ = std::move(other.failure_);
    other.failure_.reset();
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
    if (failure_ || fd_ < 0) return;
    if (!write_all(fd_, text.data(), text.size())) fail();
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

void OutputFile::flush() {
  // After a failure, or once closed, output is dropped.
  if (failure_ || fd_ < 0) {
    used_ = 0;
    return;
  }
  if (used_ == 0) return;
  const bool written = write_all(fd_, buffer_.data(), used_);
  used_ = 0;
  if (!written) fail();
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
