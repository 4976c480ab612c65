#pragma once

// An open file descriptor and who closes it: an owned one is closed when its
// owner goes away; a borrowed one (standard output) never is.

#include <utility>

namespace ecflux::base {

class Descriptor {
 public:
  Descriptor() = default;
  // Takes ownership of `fd` (-1 for none).
  explicit Descriptor(int fd) : fd_(fd), owned_(true) {}
  static Descriptor borrowed(int fd) {
    Descriptor descriptor(fd);
    descriptor.owned_ = false;
    return descriptor;
  }

  Descriptor(Descriptor&& other) noexcept
      : fd_(std::exchange(other.fd_, -1)), owned_(std::exchange(other.owned_, false)) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    if (this != &other) {
      close();
      fd_ = std::exchange(other.fd_, -1);
      owned_ = std::exchange(other.owned_, false);
    }
    return *this;
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() { close(); }

  int get() const { return fd_; }
  bool open() const { return fd_ >= 0; }
  bool owned() const { return owned_; }

  // Closes an owned descriptor now (not retried after EINTR: the descriptor
  // is gone either way); 0, or -1 where close(2) failed. A borrowed one is
  // let go.
  int close();

 private:
  int fd_ = -1;
  bool owned_ = false;
};

}  // namespace ecflux::base
