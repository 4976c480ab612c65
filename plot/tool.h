#pragma once

// The ecflux-plot program: the plots of the finished run in the working
// directory, drawn from its output files.

#include <ostream>

#include "base/result.h"

namespace ecflux::plot {

// The one line of a failure on `err`, in the words that ecflux uses for the
// same condition: "ecflux-plot: file not found, unit 43, file ...".
void report_failure(std::ostream& err, const base::Failure& failure);

// Takes the run folder's lock shared, so that it never reads what a run is
// writing; reads "ConfigDRAVEK.Dat" for the run's file names and refuses a
// run whose input or results file has the name of a plot, or whose standard
// output is one of its files; reads the results file (or "blocks.csv"),
// "cumflux.out", "CFSHIFT.out" and "Cospectra.out" (or "window_fluxes.csv"),
// and writes the plots and the report page, replacing earlier ones; prints
// the path of each on `out`.
// A refusal, a file that cannot be read or written, or a lack of memory
// (naming the file being read, drawn or written) ends the program with one
// line on `err`, and exit status 1. Everything is drawn before the first file
// is written, and the files are written aside and put in place only when all
// of them are written: after any failure the plots of an earlier run are as
// they were.
int run_plot_tool(std::ostream& out, std::ostream& err);

}  // namespace ecflux::plot
