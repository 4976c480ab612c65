#pragma once

// The window-flux table ("Cospectra.out"): the running-mean window fluxes of
// every completed block, one record per window length, written when the input
// ends.

#include <span>

#include "flux/window_sweep.h"
#include "textio/output_file.h"

namespace ecflux::report {

// Record 1: a blank, "     FREQ" and the blocks' mean times in F9.4. Then
// for each window length, shortest first: a blank, the frequency 1 / (length /
// fs) in F9.6 and the window's flux of every block in F9.4. Every record
// holds all blocks on one line. Without a completed block only record 1 is
// written.
void write_spectra_table(textio::OutputFile& file, std::span<const double> block_mean_time,
                         const flux::WindowFluxTable& table, double sample_rate);

}  // namespace ecflux::report
