#pragma once

// The report page of a finished run: one HTML file that any browser opens
// offline (no scripts, fonts, images or style sheets from elsewhere) with
// the configuration the run used, its counts, the three plots drawn inline
// with their notes as text, and a table of every block. It is written as
// well-formed XML too, so that XML tools read it.

#include <optional>
#include <string>
#include <vector>

#include "input/configuration.h"
#include "plot/block_table.h"
#include "plot/chart.h"
#include "plot/sample_clock.h"

namespace ecflux::plot {

struct RunReport {
  std::string run_folder;  // as the page names it
  input::Configuration config;
  std::optional<input::BlockSizes> sizes;  // none when the configuration gives no block
  const BlockTable* blocks = nullptr;
  std::size_t window_lengths = 0;
  std::optional<TimeUnit> time_unit;  // as judged from the blocks' mean times
  std::vector<std::string> files_read;
  std::vector<const Chart*> charts;
};

std::string report_page(const RunReport& run);

}  // namespace ecflux::plot
