#pragma once

// The words the charts and the report page share: numbers and counts as they
// show them, the colours of the series, and the notes under a plot about
// values that could not be shown.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "plot/chart.h"
#include "plot/fields.h"

namespace ecflux::plot {

// The colours that the series of a chart take in turn.
inline constexpr const char* palette[] = {"#1f77b4", "#d62728", "#2ca02c", "#ff7f0e", "#9467bd",
                                          "#8c564b", "#e377c2", "#17becf", "#bcbd22", "#7f7f7f"};
inline constexpr std::size_t palette_size = std::size(palette);

// The unit of the data file's times, which the run does not know, in the
// titles of the axes of time.
inline constexpr std::string_view data_time_unit = "data file's time unit";

// A value of the configuration or the run, in its shortest form ("%g").
std::string number_text(double value);

// A flux for a note: whole W/m² with thousands separated from 1000 on
// ("-40,754"), four significant digits below.
std::string flux_text(double value);

// "1 block" or "2 blocks".
std::string plural(std::int64_t count, std::string_view one, std::string_view many);

// One note per file, such as "Not plotted from results.out: 2 TIME values
// written as asterisks (their rows are left out), 1 FLUX-L value not a
// number."; none when nothing was skipped. The row's key column
// (`row_column`: TIME, FREQ) says that whole rows are gone.
std::optional<std::string> skip_note(const std::string& file,
                                     const std::vector<SkippedColumn>& columns,
                                     std::string_view row_column);

// Adds the notes that there are to the chart and, when one of them counts
// asterisks, what asterisks stand for, ending in `asterisk_detail`.
void add_notes(Chart& chart, const std::vector<std::optional<std::string>>& notes,
               std::string_view asterisk_detail = {});

}  // namespace ecflux::plot
