#include "flux/instruction_sets.h"

#include <array>

namespace ecflux::flux {
namespace {

bool always() { return true; }
bool avx2_supported() { return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"); }
bool avx512_supported() { return __builtin_cpu_supports("avx512f"); }

constexpr Implementation plain{.name = "plain",
                               .description = "one block at a time, no vector instructions",
                               .lanes = plain_lanes,
                               .supported = always,
                               .kernel = run_sweep_task_plain,
                               .narrower = nullptr};
constexpr Implementation avx2{.name = "avx2",
                              .description = "four blocks per 256-bit register, fused multiply-add",
                              .lanes = avx2_lanes,
                              .supported = avx2_supported,
                              .kernel = run_sweep_task_avx2,
                              .narrower = nullptr};
constexpr Implementation avx512{.name = "avx512",
                                .description = "eight blocks per 512-bit register",
                                .lanes = avx512_lanes,
                                .supported = avx512_supported,
                                .kernel = run_sweep_task_avx512,
                                .narrower = &avx2};

constexpr std::array<const Implementation*, 3> by_priority = {&avx512, &avx2, &plain};

}  // namespace

std::span<const Implementation* const> implementations() { return by_priority; }

const Implementation& best_implementation() {
  for (const Implementation* candidate : by_priority) {
    if (candidate->supported()) return *candidate;
  }
  return plain;
}

const Implementation* find_implementation(std::string_view name) {
  for (const Implementation* candidate : by_priority) {
    if (candidate->name == name) return candidate;
  }
  return nullptr;
}

}  // namespace ecflux::flux
