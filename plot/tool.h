#pragma once

// The ecflux-plot program: the plots of the finished run in the working
// directory, drawn from its output files.

#include <ostream>
#include <string_view>

namespace ecflux::plot {

inline constexpr std::string_view block_plot_name = "flux_by_block.svg";
inline constexpr std::string_view cumulative_plot_name = "cumulative_flux.svg";
inline constexpr std::string_view window_plot_name = "flux_by_window.svg";
inline constexpr std::string_view report_page_name = "report.html";

// Reads "ConfigDRAVEK.Dat" for the results file's name, reads the results
// file (or "blocks.csv"), "cumflux.out", "CFSHIFT.out" and "Cospectra.out"
// (or "window_fluxes.csv"), and writes the three plots and the report page,
// replacing earlier ones; prints the path of each on `out`.
// A file that cannot be read or written ends the program with one line on
// `err` naming it, and exit status 1; so does a lack of memory, naming the
// file being read, drawn or written. Everything is drawn before the first
// file is written: no plot is written when an input is missing or memory
// runs out while reading or drawing.
int run_plot_tool(std::ostream& out, std::ostream& err);

}  // namespace ecflux::plot
