#pragma once

// A small fixed random generator for synthetic records and benchmarks: the
// same seed gives the same numbers on every platform, which the standard
// library's distributions do not promise.

#include <cmath>
#include <cstdint>

namespace ecflux::tools {

class Noise {
 public:
  explicit Noise(std::uint64_t seed) : state_(seed ^ 0x9E3779B97F4A7C15ull) {}

  // Uniform in (0, 1).
  double uniform() {
    state_ += 0x9E3779B97F4A7C15ull;
    std::uint64_t z = state_;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return (static_cast<double>(z >> 11) + 0.5) * 0x1.0p-53;
  }

  // Standard normal.
  double normal() {
    const double pi = std::acos(-1.0);
    return std::sqrt(-2.0 * std::log(uniform())) * std::cos(2.0 * pi * uniform());
  }

 private:
  std::uint64_t state_;
};

}  // namespace ecflux::tools
