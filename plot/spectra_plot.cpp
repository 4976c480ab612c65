#include "plot/spectra_plot.h"

#include <optional>
#include <string>
#include <utility>

#include "plot/fit.h"
#include "plot/notes.h"

namespace ecflux::plot {
namespace {

constexpr const char* ogive_dashes = "6 3";

bool ogive_not_levelled(const BlockTable& blocks, std::size_t block) {
  if (block >= blocks.blocks.size()) return false;
  const Field& flag = blocks.blocks[block].ogive_not_levelled;
  return flag.state == FieldState::number && flag.value != 0.0;
}

// Which blocks' ogives have not levelled off, or that nothing says so.
std::optional<std::string> ogive_note(const BlockTable& blocks) {
  if (blocks.names.ogive_not_levelled.empty()) {
    return std::string(
        "Blocks whose ogive has not levelled off are marked where blocks.csv of "
        "ecflux --csv --spectra names them.");
  }
  std::string list;
  std::int64_t count = 0;
  for (std::size_t b = 0; b < blocks.blocks.size(); ++b) {
    if (!ogive_not_levelled(blocks, b)) continue;
    if (++count <= 10) list += (list.empty() ? "" : ", ") + std::to_string(b + 1);
  }
  if (count == 0) return "Every block's ogive has levelled off.";
  if (count > 10) list += ", …";
  return "Ogive not levelled off (" + blocks.names.ogive_not_levelled +
         "), drawn with triangles: " + plural(count, "block", "blocks") + " of " +
         std::to_string(blocks.blocks.size()) + " (" + list + ").";
}

std::optional<std::string> covariance_note(const BlockSpectra& spectra) {
  if (spectra.without_covariance == 0) return std::nullopt;
  return plural(spectra.without_covariance, "block", "blocks") +
         " without a covariance to weigh the cospectrum by: only the ogive is drawn.";
}

}  // namespace

Chart spectra_chart(const BlockSpectra& spectra, const BlockTable& blocks) {
  Chart chart;
  chart.title = "Cospectra and ogives of the blocks";
  chart.subtitle =
      "Solid: the cospectrum of w and temperature times the frequency, over the block's "
      "covariance,\nf·Co(f)/cov, the share of the flux at each frequency; dashed: the ogive, the "
      "cospectrum summed\nfrom the highest frequency down, which levels off at 1 where the block "
      "holds its eddies (" +
      spectra.file_label + ").";
  chart.x_title = "frequency (Hz)";
  chart.y_title = "f·Co(f)/cov and ogive";
  chart.log_x = true;
  for (std::size_t i = 0; i < spectra.shown.size(); ++i) {
    const BlockSpectrum& shown = spectra.shown[i];
    const bool flagged = ogive_not_levelled(blocks, shown.block);
    // A flagged block is told by its triangles, which a note explains: the
    // legend keeps to one line a block.
    const std::string label = "block " + std::to_string(shown.block + 1) + ", t = " + shown.time;
    const char* color = palette[i % palette_size];
    const Marker marker = flagged ? Marker::triangle : Marker::none;
    chart.lines.push_back({label, color, marker, shown.cospectrum});
    chart.lines.push_back(
        {"ogive of " + label, color, marker, shown.ogive, {ogive_dashes, 1.6, true}, false});
  }
  if (spectra.block_count > spectra.shown.size()) {
    const std::string all = "of all " + std::to_string(spectra.block_count) + " blocks";
    chart.bands.push_back({"f·Co(f)/cov " + all, "#7f7f7f", spectra.cospectrum_range});
    chart.bands.push_back({"ogive " + all, "#bcbd22", spectra.ogive_range});
  }
  add_notes(chart,
            {skip_note(spectra.file_label, spectra.skipped, spectra.skipped[0].name),
             covariance_note(spectra), ogive_note(blocks),
             spectra.block_count > spectra.shown.size()
                 ? std::optional<std::string>("Lines: " + std::to_string(spectra.shown.size()) +
                                              " of the " + std::to_string(spectra.block_count) +
                                              " blocks, spread evenly over the run.")
                 : std::nullopt},
            ".");
  chart.empty_message = spectra.rows == 0
                            ? "No spectrum in this run: " + spectra.file_label + " has no rows."
                            : "No value of " + spectra.file_label + " could be plotted.";
  fit_to_drawing(chart);
  return chart;
}

}  // namespace ecflux::plot
