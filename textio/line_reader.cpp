#include "textio/line_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <xxhash.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <utility>

#include "base/available_memory.h"
#include "base/stop_signals.h"

namespace ecflux::textio {

namespace {

// Bytes asked of each read(2); the buffer grows beyond it only for a longer line.
constexpr std::size_t chunk_size = std::size_t{1} << 20;

}  // namespace

struct LineReader::Hasher {
  Hasher() : state(XXH3_createState()) {
    if (state == nullptr) throw std::bad_alloc();
    XXH3_64bits_reset(state);
  }
  ~Hasher() { XXH3_freeState(state); }
  Hasher(const Hasher&) = delete;
  Hasher& operator=(const Hasher&) = delete;

  void add(const char* data, std::size_t size) {
    XXH3_64bits_update(state, data, size);
    bytes += size;
  }

  XXH3_state_t* state;
  std::uint64_t bytes = 0;
};

void LineReader::hash_bytes() {
  if (hasher_) return;
  hasher_ = std::make_unique<Hasher>();
  // What is already in the buffer was read before: all of it, from the
  // start of the file, as long as nothing has been read out of it.
  hasher_->add(buffer_.data(), end_);
}

std::optional<LineReader::FileHash> LineReader::finish_hash() {
  if (!hasher_) return std::nullopt;
  bool whole = at_eof_ && !failed_;
  struct stat status {};
  if (!whole && fd_.open() && ::fstat(fd_.get(), &status) == 0 && S_ISREG(status.st_mode)) {
    std::vector<char> rest(chunk_size);
    for (;;) {
      const ssize_t got = ::read(fd_.get(), rest.data(), rest.size());
      if (got > 0) {
        hasher_->add(rest.data(), static_cast<std::size_t>(got));
      } else if (got == 0) {
        whole = true;
        break;
      } else if (errno != EINTR || base::stop_requested()) {
        break;
      }
    }
  }
  char digits[17];
  std::snprintf(digits, sizeof digits, "%016llx",
                static_cast<unsigned long long>(XXH3_64bits_digest(hasher_->state)));
  return FileHash{digits, hasher_->bytes, whole};
}

std::optional<LineReader::FileFacts> LineReader::file_facts() const {
  struct stat status {};
  if (!fd_.open() || ::fstat(fd_.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
    return std::nullopt;
  }
  return FileFacts{static_cast<std::uint64_t>(status.st_size), status.st_mtim.tv_sec,
                   status.st_mtim.tv_nsec};
}

base::Result<LineReader> LineReader::open(std::string_view name, int unit) {
  std::string path = base::absolute_path(name);
  const std::string os_name(name);
  int fd;
  do {
    fd = ::open(os_name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 && errno == EINTR && base::stop_requested())
      return base::Interruption{base::stop_signal()};
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    return base::IoFailure{base::open_condition(errno, base::FileUse::reading), unit,
                           std::move(path)};
  }
  base::Descriptor descriptor(fd);
  struct stat status;
  if (::fstat(fd, &status) != 0 || S_ISDIR(status.st_mode)) {
    return base::IoFailure{base::IoCondition::open_failure, unit, std::move(path)};
  }
  LineReader reader(std::move(descriptor), unit, std::move(path));
  reader.buffer_.resize(chunk_size);
  return reader;
}

LineReader LineReader::from_text(std::string_view text, int unit, std::string path) {
  LineReader reader(base::Descriptor(), unit, std::move(path));
  reader.buffer_.assign(text.begin(), text.end());
  reader.end_ = text.size();
  reader.at_eof_ = true;
  return reader;
}

LineReader::LineReader(base::Descriptor fd, int unit, std::string path)
    : fd_(std::move(fd)), unit_(unit), path_(std::move(path)) {}

// Defined where the hash's state is a complete type.
LineReader::LineReader(LineReader&& other) noexcept = default;
LineReader& LineReader::operator=(LineReader&& other) noexcept = default;
LineReader::~LineReader() = default;

base::IoFailure LineReader::failure(base::IoCondition condition) const {
  return base::IoFailure{condition, unit_, path_};
}

// Moves the unread bytes to the front, grows the buffer when they fill it,
// and reads once into the free space. False at the end of the file or after a read error.
bool LineReader::refill() {
  if (at_eof_ || failed_) return false;
  const std::size_t unread = end_ - begin_;
  if (begin_ > 0) {
    if (unread > 0) std::memmove(buffer_.data(), buffer_.data() + begin_, unread);
    begin_ = 0;
    end_ = unread;
  }
  if (end_ == buffer_.size() && !grow_buffer()) return false;
  for (;;) {
    const ssize_t got = ::read(fd_.get(), buffer_.data() + end_, buffer_.size() - end_);
    if (got > 0) {
      if (hasher_) hasher_->add(buffer_.data() + end_, static_cast<std::size_t>(got));
      end_ += static_cast<std::size_t>(got);
      return true;
    }
    if (got == 0) {
      at_eof_ = true;
      return false;
    }
    if (errno != EINTR) {
      failed_ = failure(base::IoCondition::read_error);
      return false;
    }
    // A read of a pipe or terminal that a stop signal interrupted stops,
    // instead of waiting for data that may never come.
    if (base::stop_requested()) {
      failed_ = base::Interruption{base::stop_signal()};
      return false;
    }
  }
}

// One line fills the whole buffer: doubles it, as long as the machine can
// give that much memory and keep half of what it has left. A line that does
// not end within that is not data this program can use: it fails with the
// file and the line, instead of the run being killed for its memory.
bool LineReader::grow_buffer() {
  const std::size_t size = std::max(buffer_.size() * 2, chunk_size);
  constexpr std::size_t checked_from = std::size_t{64} << 20;
  bool fits = true;
  if (size >= checked_from) {
    const auto available = base::available_memory();
    fits = !available || size <= *available / 2;
  }
  if (fits) {
    try {
      buffer_.resize(size);
      return true;
    } catch (const std::bad_alloc&) {
    }
  }
  failed_ =
      base::ResourceFailure{"line " + std::to_string(line_number_ + 1) + " of " + path_ +
                            " does not end within the memory this machine can give (" +
                            std::to_string(buffer_.size() >> 20) + " MB read without a line end)"};
  return false;
}

base::Result<bool> LineReader::next(std::string_view& record) {
  if (failed_) return *failed_;
  std::size_t searched = begin_;
  for (;;) {
    const char* data = buffer_.data();
    const void* found =
        searched < end_ ? std::memchr(data + searched, '\n', end_ - searched) : nullptr;
    if (found != nullptr) {
      const auto line_feed = static_cast<std::size_t>(static_cast<const char*>(found) - data);
      std::size_t stop = line_feed;
      if (stop > begin_ && data[stop - 1] == '\r') --stop;
      record = std::string_view(data + begin_, stop - begin_);
      begin_ = line_feed + 1;
      ++line_number_;
      return true;
    }
    const std::size_t scanned = end_ - begin_;
    if (!refill()) {
      if (failed_) return *failed_;
      if (begin_ == end_) return false;
      // The last line has no line feed.
      record = std::string_view(buffer_.data() + begin_, end_ - begin_);
      begin_ = end_;
      ++line_number_;
      return true;
    }
    // The bytes already searched moved to the front with the rest.
    searched = begin_ + scanned;
  }
}

}  // namespace ecflux::textio
