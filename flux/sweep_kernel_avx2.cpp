// The sweep loops with 256-bit registers: four blocks per batch. Built with
// the AVX2 and FMA instruction sets and called only where they exist.

#include "flux/avx2_register.h"
#include "flux/sweep_kernel_body.h"

namespace ecflux::flux {

void run_sweep_task_avx2(const SweepTask& task) {
  if (task.exact_division) {
    run_with_division<Avx2Register, false>(task);
  } else {
    run_with_division<Avx2Register, true>(task);
  }
}

}  // namespace ecflux::flux
