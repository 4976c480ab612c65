#include "flux/avx512_register.h"
#include "flux/corrected_division.h"
#include "tests/flux/kernel_division.h"

namespace ecflux::flux {

void divide_as_avx512_sweep(const double* a, const double* c, const double* high, const double* low,
                            double* quotient, std::size_t count) {
  using R = Avx512Register;
  for (std::size_t i = 0; i < count; i += R::lanes) {
    R::store(quotient + i, corrected_quotient<R>(R::load(a + i), R::load(c + i), R::load(high + i),
                                                 R::load(low + i)));
  }
}

}  // namespace ecflux::flux
