#pragma once

// The 512-bit register of the sweep loops, for files compiled with
// the AVX-512 foundation instructions and FMA. Local to each such file (the anonymous
// namespace), so that no shared copy reaches code built for other processors.

#include <immintrin.h>

#include "flux/sweep_kernel.h"

namespace ecflux::flux {
namespace {

struct Avx512Register {
  using Vector = __m512d;
  static constexpr int lanes = avx512_lanes;
  static Vector load(const double* p) { return _mm512_load_pd(p); }
  static void store(double* p, Vector v) { _mm512_store_pd(p, v); }
  static void store_unaligned(double* p, Vector v) { _mm512_storeu_pd(p, v); }
  static Vector broadcast(double x) { return _mm512_set1_pd(x); }
  static Vector zero() { return _mm512_setzero_pd(); }
  static Vector add(Vector a, Vector b) { return _mm512_add_pd(a, b); }
  static Vector sub(Vector a, Vector b) { return _mm512_sub_pd(a, b); }
  static Vector mul(Vector a, Vector b) { return _mm512_mul_pd(a, b); }
  static Vector div(Vector a, Vector b) { return _mm512_div_pd(a, b); }
  static Vector fused_multiply_add(Vector a, Vector b, Vector c) {
    return _mm512_fmadd_pd(a, b, c);
  }
  static Vector fused_negative_multiply_add(Vector a, Vector b, Vector c) {
    return _mm512_fnmadd_pd(a, b, c);
  }
};

}  // namespace
}  // namespace ecflux::flux
