#pragma once

// The plot of the cumulative fluxes: CUMFLUX of cumflux.out and of
// CFSHIFT.out against TIME. Where the first or the last TIME of either file
// is written as asterisks (times of 1000 and more, or of -100 and less, from
// there on) and the rows were placed by a clock, both are drawn against the
// time since the first sample instead, so that the plot covers the whole
// record. With the unit of the data file's times known, either is drawn
// against the time since the first sample in a unit that suits the record.

#include "plot/chart.h"
#include "plot/cumulative_reading.h"
#include "plot/sample_clock.h"
#include "plot/time_scale.h"

namespace ecflux::plot {

// `clock`: the clock that placed the rows of both series, if one did;
// `time`: how times are shown on the time axis.
Chart cumulative_flux_chart(const CumulativeSeries& plain, const CumulativeSeries& shifted,
                            const SampleClock* clock = nullptr, const TimeScale& time = {});

}  // namespace ecflux::plot
