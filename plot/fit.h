#pragma once

// The bound on what a chart lays out, whatever the files held.

#include <cstddef>

#include "plot/chart.h"

namespace ecflux::plot {

// The most points one line or band of a chart lays out. Drawing needs only
// the extremes of each pixel column, so an unbroken series of any length
// stays far below it; only a series broken into very many pieces, or one
// whose x values go back and forth, can reach it.
inline constexpr std::size_t drawn_point_limit = 20'000;

// Keeps what the chart lays out within drawn_point_limit for every series: a
// line or band that would lay out more is replaced by its extremes in each
// pixel column (the leftmost, lowest, highest and rightmost of its points
// there, of a band its widest extent), as one unbroken piece, and a note
// names it. Other series are left as they are.
void fit_to_drawing(Chart& chart);

}  // namespace ecflux::plot
