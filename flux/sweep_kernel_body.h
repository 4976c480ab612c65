#pragma once

// The sweep loops, written once over a register type. Each file that builds
// them for an instruction set includes this header with its register type,
// so everything here stays local to that file (the anonymous namespace); it
// uses no library templates, whose shared copies could end up compiled for
// the wrong processor.
//
// For one window of length w (h = w / 2) the straightforward sweep forms the
// centred running means of w and temperature with one sliding sum each, then
// adds (w(j) - mean_w(j)) * (T(j) - mean_T(j)) / fs for j = 0 ... N - 1. Here
// the same operations run as one pass over the step k = 0 ... N - 1 + h:
//   k < h          the sums gain sample k;
//   h <= k < w     the sums gain sample k, entry k - h has k + 1 samples;
//   w <= k < N     the sums gain sample k, then lose sample k - w; entry k - h
//                  has w samples;
//   N <= k < N + h the sums lose sample k - w; entry k - h has w - (k - N + 1).
// Entries come out in ascending order, so the flux sum is accumulated in
// sample order, exactly as in the straightforward sweep.
//
// Division. With exact_division the quotients come from the division
// instruction; otherwise from the corrected reciprocal (corrected_division.h),
// which gives the same doubles faster.

#include <cstdint>

#include "flux/corrected_division.h"
#include "flux/sweep_kernel.h"

namespace ecflux::flux {
namespace {

using Step = std::int64_t;

inline Step least(Step a, Step b) { return a < b ? a : b; }
inline Step greatest(Step a, Step b) { return a > b ? a : b; }

// Registers: R::Vector, R::lanes, load and store (aligned to the register),
// store_unaligned, broadcast, zero, add, sub,
// mul, div, and fused_multiply_add(a, b, c) = RN(a*b + c),
// fused_negative_multiply_add(a, b, c) = RN(c - a*b).
template <class R, bool corrected_division, bool power_of_two_rate>
class SweepLoops {
 public:
  using V = typename R::Vector;

  explicit SweepLoops(const SweepTask& task)
      : task_(task),
        n_(task.block_samples),
        rate_(divisor_of(task.sample_rate, task.sample_rate_reciprocal_high,
                         task.sample_rate_reciprocal_low)),
        rate_inverse_(R::broadcast(task.sample_rate_reciprocal_high)) {}

  void run() {
    const Step windows = task_.window_count;
    for (Step i = 0; i < windows; ++i) {
      store_state(i, State{R::zero(), R::zero(), R::zero()});
    }
    // The largest window is the last; it takes the most steps.
    const Step steps = n_ + task_.window_length[windows - 1] / 2;
    // Steps are taken in chunks, each for every window in turn: consecutive
    // windows read nearly the same samples, which then stay in the cache.
    constexpr Step chunk = 1024;
    for (Step from = 0; from < steps; from += chunk) {
      const Step to = least(from + chunk, steps);
      Step i = 0;
      for (; i + 1 < windows; i += 2) advance_pair(i, from, to);
      if (i < windows) advance(i, from, to);
    }
    for (Step i = 0; i < windows; ++i) {
      V sum = load_state(i).flux_sum;
      if constexpr (scale_at_end) sum = R::mul(sum, rate_inverse_);
      R::store_unaligned(task_.sums + i * R::lanes, sum);
    }
  }

 private:
  struct State {
    V sum_w;
    V sum_temperature;
    V flux_sum;
  };

  struct Divisor {
    V value;
    V high;
    V low;
  };

  static Divisor divisor_of(double value, double high, double low) {
    return {R::broadcast(value), R::broadcast(high), R::broadcast(low)};
  }

  Divisor count_divisor(Step count) const {
    return divisor_of(static_cast<double>(count), task_.reciprocal_high[count],
                      task_.reciprocal_low[count]);
  }

  static V divide(V a, const Divisor& d) {
    if constexpr (corrected_division) {
      return corrected_quotient<R>(a, d.value, d.high, d.low);
    } else {
      return R::div(a, d.value);
    }
  }

  // Dividing by a power of two is exactly multiplying by its inverse. Where
  // no value comes near underflow or overflow (the corrected division's
  // range), the sum of the products scaled at the end equals, bit for bit,
  // the sum of the scaled products.
  static constexpr bool scale_at_end = corrected_division && power_of_two_rate;

  // p / fs, or p itself when the sum is scaled at the end.
  V per_second(V p) const {
    if constexpr (scale_at_end) {
      return p;
    } else if constexpr (power_of_two_rate) {
      return R::mul(p, rate_inverse_);
    } else {
      return divide(p, rate_);
    }
  }

  V w_at(Step k) const { return R::load(task_.w + k * R::lanes); }
  V temperature_at(Step k) const { return R::load(task_.temperature + k * R::lanes); }

  State load_state(Step i) const {
    const double* p = task_.state + i * 3 * R::lanes;
    return {R::load(p), R::load(p + R::lanes), R::load(p + 2 * R::lanes)};
  }
  void store_state(Step i, const State& s) {
    double* p = task_.state + i * 3 * R::lanes;
    R::store(p, s.sum_w);
    R::store(p + R::lanes, s.sum_temperature);
    R::store(p + 2 * R::lanes, s.flux_sum);
  }

  // Entry j of the running means from the current sums, its deviations, and
  // their product per second added to the flux sum.
  void emit(State& s, Step j, const Divisor& d) const {
    const V dw = R::sub(w_at(j), divide(s.sum_w, d));
    const V d_temperature = R::sub(temperature_at(j), divide(s.sum_temperature, d));
    s.flux_sum = R::add(s.flux_sum, per_second(R::mul(dw, d_temperature)));
  }

  void gain(State& s, Step k) const {
    s.sum_w = R::add(s.sum_w, w_at(k));
    s.sum_temperature = R::add(s.sum_temperature, temperature_at(k));
  }

  void gain_then_lose(State& s, Step k, Step window) const {
    s.sum_w = R::sub(R::add(s.sum_w, w_at(k)), w_at(k - window));
    s.sum_temperature =
        R::sub(R::add(s.sum_temperature, temperature_at(k)), temperature_at(k - window));
  }

  void lose(State& s, Step k, Step window) const {
    s.sum_w = R::sub(s.sum_w, w_at(k - window));
    s.sum_temperature = R::sub(s.sum_temperature, temperature_at(k - window));
  }

  // Steps [from, to) of window i, stage by stage.
  void advance(Step i, Step from, Step to) {
    const Step window = task_.window_length[i];
    const Step half = window / 2;
    const Step end = least(to, n_ + half);
    if (from >= end) return;
    State s = load_state(i);
    Step k = from;
    for (const Step stop = least(end, half); k < stop; ++k) gain(s, k);
    for (const Step stop = least(end, window); k < stop; ++k) {
      gain(s, k);
      emit(s, k - half, count_divisor(k + 1));
    }
    const Divisor full = count_divisor(window);
    for (const Step stop = least(end, n_); k < stop; ++k) {
      gain_then_lose(s, k, window);
      emit(s, k - half, full);
    }
    for (; k < end; ++k) {
      lose(s, k, window);
      emit(s, k - half, count_divisor(window - (k - n_ + 1)));
    }
    store_state(i, s);
  }

  // Windows i and i + 1 together wherever both are in the same stage: two
  // independent chains of sums keep the processor's pipelines full. The
  // shorter window is the first.
  void advance_pair(Step i, Step from, Step to) {
    const Step first = task_.window_length[i];
    const Step second = task_.window_length[i + 1];
    const Step half_a = first / 2;
    const Step half_b = second / 2;
    Step next = from;  // both windows have taken the steps before it
    const auto joint = [&](Step begin, Step end, auto&& loop) {
      begin = greatest(begin, next);
      end = least(end, to);
      if (begin >= end) return;
      advance(i, next, begin);
      advance(i + 1, next, begin);
      State a = load_state(i);
      State b = load_state(i + 1);
      loop(a, b, begin, end);
      store_state(i, a);
      store_state(i + 1, b);
      next = end;
    };
    // Both growing: the entries of both windows have k + 1 samples.
    joint(half_b, first, [&](State& a, State& b, Step begin, Step end) {
      for (Step k = begin; k < end; ++k) {
        gain(a, k);
        gain(b, k);
        const Divisor count = count_divisor(k + 1);
        emit(a, k - half_a, count);
        emit(b, k - half_b, count);
      }
    });
    joint(second, n_, [&](State& a, State& b, Step begin, Step end) {
      const Divisor full_a = count_divisor(first);
      const Divisor full_b = count_divisor(second);
      for (Step k = begin; k < end; ++k) {
        gain_then_lose(a, k, first);
        gain_then_lose(b, k, second);
        emit(a, k - half_a, full_a);
        emit(b, k - half_b, full_b);
      }
    });
    joint(n_, n_ + half_a, [&](State& a, State& b, Step begin, Step end) {
      for (Step k = begin; k < end; ++k) {
        lose(a, k, first);
        lose(b, k, second);
        emit(a, k - half_a, count_divisor(first - (k - n_ + 1)));
        emit(b, k - half_b, count_divisor(second - (k - n_ + 1)));
      }
    });
    advance(i, next, to);
    advance(i + 1, next, to);
  }

  const SweepTask& task_;
  const Step n_;
  const Divisor rate_;
  const V rate_inverse_;
};

template <class R, bool corrected_division>
void run_with_division(const SweepTask& task) {
  if (task.sample_rate_power_of_two) {
    SweepLoops<R, corrected_division, true>(task).run();
  } else {
    SweepLoops<R, corrected_division, false>(task).run();
  }
}

}  // namespace
}  // namespace ecflux::flux
