#pragma once

// The plot of the window fluxes: the flux of each block against the
// frequency of the running-mean window, on a logarithmic frequency axis,
// from either file that holds them. With more blocks than have lines, the
// range of all blocks is shaded. The run's own window, when given, is
// marked.

#include <optional>

#include "plot/chart.h"
#include "plot/run_model.h"
#include "plot/window_reading.h"

namespace ecflux::plot {

Chart window_flux_chart(const WindowFluxes& fluxes, std::optional<RunWindow> run_window);

}  // namespace ecflux::plot
