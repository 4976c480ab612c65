#pragma once

// The plot of the block fluxes against each block's mean time: the flux to
// report (FLUX-L corrected for the delay between the sensors, where
// blocks.csv gives it) as the main line; FLUX-L, FLUX-R and the flux about
// the block mean, each in a style of its own so that none hides another;
// the band from RUNMIN to RUNMAX, the spread over the delays searched; the
// random error of FLUX-L as error bars, where the run computed it; and the
// blocks flagged 1 and 2 marked. Flagged blocks do not set the scale of the
// flux axis, so that one wild block does not flatten the rest: a flagged
// value beyond it is marked at the axis's edge, and a note names it.

#include "plot/block_table.h"
#include "plot/chart.h"
#include "plot/time_scale.h"

namespace ecflux::plot {

// `time`: how the blocks' mean times are shown on the time axis.
Chart block_flux_chart(const BlockTable& blocks, const TimeScale& time = {});

}  // namespace ecflux::plot
