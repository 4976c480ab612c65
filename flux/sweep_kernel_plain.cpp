// The sweep loops without vector instructions: one block per batch.

#include "flux/sweep_kernel_body.h"

namespace ecflux::flux {
namespace {

struct PlainRegister {
  using Vector = double;
  static constexpr int lanes = plain_lanes;
  static Vector load(const double* p) { return *p; }
  static void store(double* p, Vector v) { *p = v; }
  static void store_unaligned(double* p, Vector v) { *p = v; }
  static Vector broadcast(double x) { return x; }
  static Vector zero() { return 0.0; }
  static Vector add(Vector a, Vector b) { return a + b; }
  static Vector sub(Vector a, Vector b) { return a - b; }
  static Vector mul(Vector a, Vector b) { return a * b; }
  static Vector div(Vector a, Vector b) { return a / b; }
};

}  // namespace

// Always with the division instruction: without hardware fused multiply-add
// the corrected reciprocal would be slower than dividing.
void run_sweep_task_plain(const SweepTask& task) { run_with_division<PlainRegister, false>(task); }

}  // namespace ecflux::flux
