// The sweep loops with 256-bit registers: four blocks per batch. Built with
// the AVX2 and FMA instruction sets and called only where they exist.

#include <immintrin.h>

#include "flux/sweep_kernel_body.h"

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

void run_sweep_task_avx2(const SweepTask& task) {
  if (task.exact_division) {
    run_with_division<Avx2Register, false>(task);
  } else {
    run_with_division<Avx2Register, true>(task);
  }
}

}  // namespace ecflux::flux
