#pragma once

// The table of blocks on the report page: one row per block, the block's
// time, quality flag and main fluxes first and every other column of its
// file after them, flagged rows marked. Values of blocks.csv are shown
// rounded for reading (the file holds them in full); those of the results
// file as written. Bounded in rows, columns and cells, so that a browser
// opens the page of any file; the table says where it cuts.

#include <string>

#include "plot/block_table.h"

namespace ecflux::plot {

void append_block_table(std::string& page, const BlockTable& table);

}  // namespace ecflux::plot
