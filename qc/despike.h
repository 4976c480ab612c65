#pragma once

// Spikes of a series (a bubble or a particle in the acoustic beam, a wrong
// phase): samples that lie outside the cloud that the series, its first and
// its second difference form together. Each series of a block is cleaned on
// its own; spikes are replaced by a straight line between the good samples
// around them and the search is repeated until it finds none.
//
// The test of one pass, on a series v of n samples:
//  - x = v - median(v); dx and d2x its first and second differences, central
//    ((x[i+1] - x[i-1]) / 2, and d2x the same of dx) with one-sided
//    differences at the ends (x[1] - x[0], x[n-1] - x[n-2]);
//  - the spread of each, s = 1.483 median(|y - median(y)|), or its standard
//    deviation about its mean where that is zero (a quantised series whose
//    middle half is one value); a quantity without any spread takes no part;
//  - the threshold l = sqrt(2 ln n);
//  - a sample is a spike when it lies outside any of three ellipses about
//    the origin: (x, dx) with semi-axes (l sx, l sdx); (dx, d2x) with
//    (l sdx, l sd2x); and (x, d2x) turned by t = atan(sum x d2x / sum x^2),
//    the sums taken over the samples inside the first two, with semi-axes
//    a, b that give it the extents l sx and l sd2x along x and d2x:
//          a^2 = ((l sx)^2 cos^2 t - (l sd2x)^2 sin^2 t) / (cos^4 t - sin^4 t),
//          b^2 = ((l sd2x)^2 cos^2 t - (l sx)^2 sin^2 t) / (cos^4 t - sin^4 t);
//    where these are not both positive the ellipse is taken unturned.

#include <cstdint>
#include <span>

#include "qc/variables.h"

namespace ecflux::qc {

// Passes that replace spikes, at most, per series. A spike of many spreads
// also puts its neighbours up to two samples away outside the ellipses (their
// differences carry it), so each pass takes them with it: one pass or two
// clean a usual record.
inline constexpr int despike_pass_limit = 20;
// A block whose w or temperature had more spikes than this share of its
// samples, in percent, is suspect.
inline constexpr double suspect_spike_percent = 1.0;

struct SeriesDespike {
  std::int64_t spikes = 0;  // samples replaced, each counted once
  int passes = 0;           // passes that replaced spikes
  // After the last allowed pass the test still found new spikes, which were
  // left as they are.
  bool pass_limit_reached = false;
};

// Finds and replaces the spikes of one series in place, pass after pass:
// each pass tests the series as the previous passes left it, with the
// median, the spreads and the turn taken over the samples not yet found to
// be spikes (values bridged by earlier passes are no measurements, and
// their straight lines would shrink the spreads of the differences), adds
// the new spikes to those found before and replaces them all by
// interpolation between the samples never found to be spikes. Stops when a
// test finds no new spike, or after `pass_limit` passes. Series of fewer
// than three samples, and series with a value that is not finite (missing
// values that were not filled), are left as they are.
SeriesDespike despike(std::span<double> values, int pass_limit = despike_pass_limit);

struct BlockDespike {
  std::int64_t samples = 0;
  PerVariable<SeriesDespike> series;
};

// despike for u, v, w and temperature, each on its own.
BlockDespike despike_block(BlockSeries series, int pass_limit = despike_pass_limit);

// More than suspect_spike_percent of the samples were spikes in w or in
// temperature.
bool too_many_spikes(const BlockDespike& despiked);

}  // namespace ecflux::qc
