// The sweep loops with 512-bit registers: eight blocks per batch. Built with
// the AVX-512 foundation instructions and called only where they exist.

#include "flux/avx512_register.h"
#include "flux/sweep_kernel_body.h"

namespace ecflux::flux {

void run_sweep_task_avx512(const SweepTask& task) {
  if (task.exact_division) {
    run_with_division<Avx512Register, false>(task);
  } else {
    run_with_division<Avx512Register, true>(task);
  }
}

}  // namespace ecflux::flux
