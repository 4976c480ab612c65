#include "qc/fourier.h"

#include <fftw3.h>

#include <mutex>
#include <new>

namespace ecflux::qc {
namespace {

// FFTW's planner keeps tables of its own and may be used by one thread at a
// time; making and destroying plans is guarded, executing them is not.
std::mutex& planner_mutex() {
  static std::mutex mutex;
  return mutex;
}

constexpr unsigned plan_flags = FFTW_ESTIMATE | FFTW_NO_SIMD;

// fftw_complex is laid out as std::complex<double>.
fftw_complex* as_fftw(std::complex<double>* pointer) {
  return reinterpret_cast<fftw_complex*>(pointer);
}

}  // namespace

RealTransform::RealTransform(std::size_t length) : length_(length) {
  const std::size_t coefficients = length / 2 + 1;
  samples_ = fftw_alloc_real(length);
  spectrum_ = reinterpret_cast<std::complex<double>*>(fftw_alloc_complex(coefficients));
  if (samples_ == nullptr || spectrum_ == nullptr) {
    fftw_free(samples_);
    fftw_free(spectrum_);
    throw std::bad_alloc();
  }
  const int n = static_cast<int>(length);
  const std::lock_guard lock(planner_mutex());
  forward_plan_ = fftw_plan_dft_r2c_1d(n, samples_, as_fftw(spectrum_), plan_flags);
  backward_plan_ = fftw_plan_dft_c2r_1d(n, as_fftw(spectrum_), samples_, plan_flags);
}

RealTransform::~RealTransform() {
  {
    const std::lock_guard lock(planner_mutex());
    fftw_destroy_plan(forward_plan_);
    fftw_destroy_plan(backward_plan_);
  }
  fftw_free(samples_);
  fftw_free(spectrum_);
}

void RealTransform::forward() { fftw_execute(forward_plan_); }

void RealTransform::backward() { fftw_execute(backward_plan_); }

std::size_t fast_transform_length(std::size_t at_least) {
  for (std::size_t length = at_least > 0 ? at_least : 1;; ++length) {
    std::size_t rest = length;
    for (const std::size_t factor : {2u, 3u, 5u, 7u}) {
      while (rest % factor == 0) rest /= factor;
    }
    if (rest == 1) return length;
  }
}

}  // namespace ecflux::qc
