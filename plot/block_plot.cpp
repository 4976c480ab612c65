#include "plot/block_plot.h"

#include <string>
#include <vector>

#include "plot/fit.h"
#include "plot/notes.h"

namespace ecflux::plot {
namespace {

// The file and its columns in the subtitle: the fixed-column file's names
// are the plot's own; blocks.csv names them in full.
std::string block_subtitle(const BlockTable& blocks) {
  const PlottedNames& names = blocks.names;
  if (!blocks.csv) {
    return "FLUX-L and FLUX-R of " + blocks.file_label +
           ": fluctuations about the least-squares lines and about the running means.\n"
           "Shaded: RUNMIN to RUNMAX, the range of FLUX-R over temperature delays of 0 to 2 s.";
  }
  return "FLUX-L and FLUX-R of " + blocks.file_label + " (" + names.flux_linear + ", " +
         names.flux_run +
         "): fluctuations about the least-squares lines\nand about the running means. "
         "Shaded: RUNMIN to RUNMAX (" +
         names.flux_run_min + " to " + names.flux_run_max +
         "),\nthe range of FLUX-R over temperature delays of 0 to 2 s.";
}

}  // namespace

Chart block_flux_chart(const BlockTable& blocks) {
  const PlottedNames& names = blocks.names;
  Chart chart;
  chart.title = "Heat flux of each block";
  chart.subtitle = block_subtitle(blocks);
  chart.x_title = "block mean time " + names.time + " (" + std::string(data_time_unit) + ")";
  chart.y_title = "heat flux (W/m²)";
  Line flux_l{"FLUX-L", palette[0], true, {}};
  Line flux_r{"FLUX-R", palette[1], true, {}};
  Band delays{"RUNMIN to RUNMAX", palette[1], {}};

  std::vector<SkippedColumn> skipped = {{names.time, {}},
                                        {names.flux_linear, {}},
                                        {names.flux_run, {}},
                                        {names.flux_run_min, {}},
                                        {names.flux_run_max, {}}};
  for (const BlockValues& block : blocks.blocks) {
    if (!skipped[0].count.take(block.time)) {
      flux_l.points.gap();
      flux_r.points.gap();
      delays.points.gap();
      continue;
    }
    const double time = block.time.value;
    const auto plot_value = [&](Line& line, const Field& value, SkipCount& count) {
      if (count.take(value)) {
        line.points.add({time, value.value});
      } else {
        line.points.gap();
      }
    };
    plot_value(flux_l, block.flux_linear, skipped[1].count);
    plot_value(flux_r, block.flux_run, skipped[2].count);
    const bool low = skipped[3].count.take(block.flux_run_min);
    const bool high = skipped[4].count.take(block.flux_run_max);
    if (low && high) {
      delays.points.add({time, block.flux_run_min.value, block.flux_run_max.value});
    } else {
      delays.points.gap();
    }
  }

  chart.bands.push_back(std::move(delays));
  chart.lines.push_back(std::move(flux_l));
  chart.lines.push_back(std::move(flux_r));
  add_notes(chart, {skip_note(blocks.file_label, skipped, names.time)}, ".");
  chart.empty_message =
      blocks.blocks.empty()
          ? "No complete block in this run: " + blocks.file_label + " has no rows."
          : "No value of " + blocks.file_label + " could be plotted.";
  fit_to_drawing(chart);
  return chart;
}

}  // namespace ecflux::plot
