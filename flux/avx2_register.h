#pragma once

// The 256-bit register of the sweep loops, for files compiled with
// the AVX2 and FMA instruction sets. Local to each such file (the anonymous
// namespace), so that no shared copy reaches code built for other processors.

#include <immintrin.h>

#include "flux/sweep_kernel.h"

namespace ecflux::flux {
namespace {

struct Avx2Register {
  using Vector = __m256d;
  static constexpr int lanes = avx2_lanes;
  static Vector load(const double* p) { return _mm256_load_pd(p); }
  static void store(double* p, Vector v) { _mm256_store_pd(p, v); }
  static void store_unaligned(double* p, Vector v) { _mm256_storeu_pd(p, v); }
  static Vector broadcast(double x) { return _mm256_set1_pd(x); }
  static Vector zero() { return _mm256_setzero_pd(); }
  static Vector add(Vector a, Vector b) { return _mm256_add_pd(a, b); }
  static Vector sub(Vector a, Vector b) { return _mm256_sub_pd(a, b); }
  static Vector mul(Vector a, Vector b) { return _mm256_mul_pd(a, b); }
  static Vector div(Vector a, Vector b) { return _mm256_div_pd(a, b); }
  static Vector fused_multiply_add(Vector a, Vector b, Vector c) {
    return _mm256_fmadd_pd(a, b, c);
  }
  static Vector fused_negative_multiply_add(Vector a, Vector b, Vector c) {
    return _mm256_fnmadd_pd(a, b, c);
  }
};

}  // namespace
}  // namespace ecflux::flux
