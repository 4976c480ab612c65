#pragma once

// Discrete Fourier transforms of real sequences of one length, any length,
// with their own storage. The plans are made once for the length and reused
// for every block; they use FFTW's estimated plans without vector
// instructions, whose results depend neither on timing nor on the
// processor, so that the same samples give the same bits on every run and
// machine. (No part of the program may plan with measured plans: their
// results could then differ.)

#include <complex>
#include <cstddef>
#include <span>

struct fftw_plan_s;  // FFTW's plan

namespace ecflux::qc {

class RealTransform {
 public:
  // length >= 1.
  explicit RealTransform(std::size_t length);
  ~RealTransform();
  RealTransform(const RealTransform&) = delete;
  RealTransform& operator=(const RealTransform&) = delete;

  std::size_t length() const { return length_; }
  // The real sequence: input of forward, output of backward.
  std::span<double> samples() { return {samples_, length_}; }
  // Coefficients 0 ... length / 2: input of backward, output of forward.
  std::span<std::complex<double>> spectrum() { return {spectrum_, length_ / 2 + 1}; }

  // spectrum[k] = sum over j of samples[j] exp(-2 pi i j k / length).
  void forward();
  // samples[j] = sum over all k of spectrum[k] exp(2 pi i j k / length), the
  // coefficients above length / 2 being the conjugates of those below: the
  // inverse of forward times length. Overwrites the spectrum.
  void backward();

 private:
  std::size_t length_;
  double* samples_;
  std::complex<double>* spectrum_;  // length / 2 + 1 coefficients
  fftw_plan_s* forward_plan_;
  fftw_plan_s* backward_plan_;
};

// The smallest length of at least `at_least` whose only prime factors are 2,
// 3, 5 and 7, for which the transforms are fastest.
std::size_t fast_transform_length(std::size_t at_least);

}  // namespace ecflux::qc
