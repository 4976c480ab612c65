#pragma once

// Doubles on 64-byte boundaries, as the widest vector loads need.

#include <algorithm>
#include <cstddef>
#include <new>

namespace ecflux::flux {

class AlignedDoubles {
 public:
  static constexpr std::align_val_t alignment{64};

  // `count` zeros.
  explicit AlignedDoubles(std::size_t count)
      : data_(static_cast<double*>(::operator new[](count * sizeof(double), alignment))),
        size_(count) {
    std::fill_n(data_, size_, 0.0);
  }
  ~AlignedDoubles() { ::operator delete[](data_, alignment); }
  AlignedDoubles(const AlignedDoubles&) = delete;
  AlignedDoubles& operator=(const AlignedDoubles&) = delete;

  double* data() { return data_; }
  const double* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  double* data_;
  std::size_t size_;
};

}  // namespace ecflux::flux
