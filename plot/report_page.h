#pragma once

// The report page of a finished run: one HTML file that any browser opens
// offline (no scripts, fonts, images or style sheets from elsewhere) with
// the configuration the run used, its counts, its plots drawn inline
// with their notes as text, and a table of every block. It is written as
// well-formed XML too, so that XML tools read it.

#include <string>
#include <vector>

#include "plot/chart.h"
#include "plot/run_model.h"

namespace ecflux::plot {

// The page of the run read into `run`, in `run_folder` as the page names it,
// with its plots' charts in their order.
std::string report_page(const RunModel& run, const std::string& run_folder,
                        const std::vector<Chart>& charts);

}  // namespace ecflux::plot
