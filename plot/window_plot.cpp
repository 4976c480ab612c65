#include "plot/window_plot.h"

#include <string>
#include <utility>

#include "base/units.h"
#include "plot/fit.h"
#include "plot/notes.h"

namespace ecflux::plot {
namespace {

std::string block_label(const BlockFluxes& block) {
  return "block " + std::to_string(block.block + 1) + ", t = " + block.time;
}

// Which blocks have lines, when not all of them have.
std::optional<std::string> lines_note(const Chart& chart, std::size_t block_count) {
  if (block_count <= chart.lines.size()) return std::nullopt;
  return "Lines: " + std::to_string(chart.lines.size()) + " of the " + std::to_string(block_count) +
         " blocks, spread evenly over the run.";
}

std::optional<std::string> hidden_times_note(const WindowFluxes& fluxes) {
  if (fluxes.hidden_times == 0) return std::nullopt;
  return plural(fluxes.hidden_times, "block time", "block times") + " in the first record of " +
         fluxes.file_label +
         " written as asterisks or unreadable, and not found in the results file.";
}

// How the file's fluxes of K·m/day became W/m².
std::string watts_of(const WindowFluxes& fluxes) {
  return "W/m²: the file's K·m/day / " + number_text(base::seconds_per_day) + " × " +
         number_text(fluxes.medium.density) + " kg/m³ × " +
         number_text(fluxes.medium.specific_heat) + " J/(kg K).";
}

}  // namespace

Chart window_flux_chart(const WindowFluxes& fluxes, std::optional<RunWindow> run_window) {
  Chart chart;
  chart.title = "Flux against running-mean window";
  chart.subtitle = "The flux of each block for every window length (" + fluxes.file_label +
                   "). Longer windows are to the\n"
                   "left; a window is long enough where the flux levels off." +
                   (fluxes.converted ? "\n" + watts_of(fluxes) : "");
  chart.x_title = "frequency, 1 / window length (Hz)";
  chart.y_title = "heat flux (W/m²)";
  chart.log_x = true;
  for (std::size_t i = 0; i < fluxes.shown.size(); ++i) {
    chart.lines.push_back({block_label(fluxes.shown[i]), palette[i % palette_size], Marker::none,
                           fluxes.shown[i].fluxes});
  }
  if (fluxes.block_count > chart.lines.size()) {
    chart.bands.push_back({"range of all " + std::to_string(fluxes.block_count) + " blocks",
                           "#7f7f7f", fluxes.range});
  }
  if (run_window && run_window->frequency > 0.0) {
    chart.x_markers.push_back(
        {run_window->frequency, "window of the run: " + number_text(run_window->seconds) + " s"});
  }
  add_notes(chart,
            {skip_note(fluxes.file_label, fluxes.skipped, fluxes.skipped[0].name),
             lines_note(chart, fluxes.block_count), hidden_times_note(fluxes)},
            ".");
  chart.empty_message = fluxes.block_count == 0 || fluxes.rows == 0
                            ? "No complete block in this run: " + fluxes.file_label +
                                  (fluxes.csv ? " has no rows." : " has no block.")
                            : "No value of " + fluxes.file_label + " could be plotted.";
  fit_to_drawing(chart);
  return chart;
}

}  // namespace ecflux::plot
