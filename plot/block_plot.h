#pragma once

// The plot of the block fluxes: FLUX-L and FLUX-R of every block against its
// mean time, with the band from RUNMIN to RUNMAX.

#include "plot/block_table.h"
#include "plot/chart.h"

namespace ecflux::plot {

Chart block_flux_chart(const BlockTable& blocks);

}  // namespace ecflux::plot
