#include "plot/block_plot.h"

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "plot/fit.h"
#include "plot/frame.h"
#include "plot/notes.h"

namespace ecflux::plot {
namespace {

// The legend's words for the band and the error bars: what they are, and
// what the band is not.
constexpr const char* spread_label =
    "RUNMIN to RUNMAX: spread over the delays searched (not an uncertainty)";
constexpr const char* random_error_label = "random error of FLUX-L (±1 standard deviation)";

constexpr const char* main_color = "#111111";
constexpr const char* spread_color = "#d62728";
constexpr const char* error_color = "#555555";
constexpr const char* flag_colors[] = {"", "#ff7f0e", "#c51b7d"};

// The subtitle: which flux the main line is, and why; or, without it, where
// to find it.
std::string block_subtitle(const BlockTable& blocks) {
  const PlottedNames& names = blocks.names;
  if (!names.flux_corrected.empty()) {
    return "Thick line: the flux to report, FLUX-L at the delay of the largest covariance between "
           "w and\ntemperature (" +
           names.flux_corrected + " of " + blocks.file_label +
           "). Dashed: FLUX-L, about the least-squares lines;\nFLUX-R, about the running means" +
           (names.flux_mean_removed.empty() ? "" : "; and the flux about the block mean") +
           ". Shaded: RUNMIN to RUNMAX of FLUX-R.";
  }
  if (!blocks.csv) {
    return "FLUX-L and FLUX-R of " + blocks.file_label +
           ": fluctuations about the least-squares lines and about the running means.\n"
           "Shaded: RUNMIN to RUNMAX, the spread of FLUX-R over temperature delays of 0 to 2 s.\n"
           "The delay-corrected flux, which is the one to report, is in blocks.csv of ecflux "
           "--csv.";
  }
  return "FLUX-L and FLUX-R of " + blocks.file_label + " (" + names.flux_linear + ", " +
         names.flux_run +
         "): fluctuations about the least-squares lines\nand about the running means. "
         "Shaded: RUNMIN to RUNMAX (" +
         names.flux_run_min + " to " + names.flux_run_max +
         "),\nthe spread of FLUX-R over temperature delays of 0 to 2 s.";
}

// The range of the values that set the flux axis: every value of the
// unflagged blocks, and of all blocks.
struct ScaleRanges {
  ValueRange unflagged{std::numeric_limits<double>::infinity(),
                       -std::numeric_limits<double>::infinity()};
  ValueRange all = unflagged;

  void take(double value, bool flagged) {
    all = {std::min(all.low, value), std::max(all.high, value)};
    if (!flagged) unflagged = {std::min(unflagged.low, value), std::max(unflagged.high, value)};
  }
  // The scale of the unflagged blocks, where the flagged ones reach beyond it.
  std::optional<ValueRange> kept_scale() const {
    if (unflagged.low > unflagged.high) return std::nullopt;
    if (all.low == unflagged.low && all.high == unflagged.high) return std::nullopt;
    return unflagged;
  }
};

// The value that marks a block in the plot: the main line's, or the first
// flux there is.
const Field& marked_value(const BlockValues& block) {
  for (const Field* field : {&block.flux_corrected, &block.flux_linear, &block.flux_run}) {
    if (field->state == FieldState::number) return *field;
  }
  return block.flux_corrected;
}

// The series of the chart as they are filled, block by block: the main line
// heavy and solid, each detrending dashed in a pattern and marked in a shape
// of its own, so that lines on top of each other stay apart; flagged blocks
// marked apart from any line.
struct BlockSeries {
  Line main{"FLUX-L delay-corrected", main_color, Marker::dot, {}, {"", 2.8, true}};
  Line flux_l{"FLUX-L", palette[0], Marker::square, {}, {"7 4", 1.6, true}};
  Line flux_r{"FLUX-R", palette[1], Marker::triangle, {}, {"2 3", 1.6, true}};
  Line mean_removed{
      "about the block mean", palette[2], Marker::diamond, {}, {"10 3 2 3", 1.6, true}};
  Line flags[3] = {{},
                   {"flag 1: " + flag_words(1), flag_colors[1], Marker::ring, {}, {"", 2, false}},
                   {"flag 2: " + flag_words(2), flag_colors[2], Marker::cross, {}, {"", 2, false}}};
  Band spread{spread_label, spread_color, {}};
  Band errors{random_error_label, error_color, {}, true};

  void gap() {
    for (Line* line : {&main, &flux_l, &flux_r, &mean_removed}) line->points.gap();
    spread.points.gap();
    errors.points.gap();
  }
};

// FLUX-L less and plus its random error; not numbers where either is none.
ValueRange error_range(const BlockValues& block) {
  const Field& error = block.random_error;
  if (error.state != FieldState::number || block.flux_linear.state != FieldState::number)
    return {std::nan(""), std::nan("")};
  return {block.flux_linear.value - std::abs(error.value),
          block.flux_linear.value + std::abs(error.value)};
}

// The values that every block would draw, each counted as the block's flag
// says.
ScaleRanges scale_of(const BlockTable& blocks) {
  ScaleRanges scale;
  for (const BlockValues& block : blocks.blocks) {
    if (block.time.state != FieldState::number) continue;
    const bool flagged = block.flag >= 1;
    for (const Field* field :
         {&block.flux_corrected, &block.flux_linear, &block.flux_run, &block.flux_mean_removed}) {
      if (field->state == FieldState::number) scale.take(field->value, flagged);
    }
    if (block.flux_run_min.state == FieldState::number &&
        block.flux_run_max.state == FieldState::number) {
      scale.take(block.flux_run_min.value, flagged);
      scale.take(block.flux_run_max.value, flagged);
    }
    if (const ValueRange error = error_range(block); !std::isnan(error.low)) {
      scale.take(error.low, flagged);
      scale.take(error.high, flagged);
    }
  }
  return scale;
}

// An off-scale note's words for one block.
std::string off_scale_block(std::size_t index, const BlockValues& block) {
  return "block " + std::to_string(index + 1) + " (flag " + std::to_string(block.flag) + ", " +
         flux_text(marked_value(block).value) + " W/m²)";
}

// Names the flagged blocks that lie beyond the flux axis, a few of them, and
// says that flagged blocks do not set it.
void append_off_scale_notes(Chart& chart, const BlockTable& blocks) {
  if (!chart.y_scale) return;
  Frame frame;
  if (!lay_out_frame(chart, frame)) return;
  constexpr std::size_t named_limit = 5;
  std::vector<std::string> named;
  std::size_t beyond = 0;
  for (std::size_t b = 0; b < blocks.blocks.size(); ++b) {
    const BlockValues& block = blocks.blocks[b];
    const Field& value = marked_value(block);
    if (block.flag < 1 || value.state != FieldState::number) continue;
    if (value.value >= frame.y.low && value.value <= frame.y.high) continue;
    if (++beyond <= named_limit) named.push_back(off_scale_block(b, block));
  }
  if (beyond > 0) {
    std::string list;
    for (const std::string& block : named) list += (list.empty() ? "" : ", ") + block;
    if (beyond > named.size()) list += ", and " + std::to_string(beyond - named.size()) + " more";
    chart.notes.push_back("Off-scale, marked at the edge: " + list + ".");
  }
  chart.notes.push_back("Flagged blocks do not set the scale of the flux axis.");
}

}  // namespace

Chart block_flux_chart(const BlockTable& blocks, const TimeScale& time) {
  const PlottedNames& names = blocks.names;
  Chart chart;
  chart.title = "Heat flux of each block";
  chart.subtitle = block_subtitle(blocks);
  chart.x_title = time.since_first_sample()
                      ? "block mean time, since the first sample (" + time.symbol + ")"
                      : "block mean time " + names.time + " (" + std::string(data_time_unit) + ")";
  chart.y_title = "heat flux (W/m²)";
  chart.y_scale = scale_of(blocks).kept_scale();
  // A flagged block's value beyond the axis stands alone, and its band is
  // not drawn: lines to it would cross the whole plot.
  const std::optional<ValueRange> shown =
      chart.y_scale ? std::optional(shown_y_range(*chart.y_scale)) : std::nullopt;
  const auto beyond = [&](double value) {
    return shown && (value < shown->low || value > shown->high);
  };

  BlockSeries series;
  std::vector<SkippedColumn> skipped = {{names.time, {}},
                                        {names.flux_linear, {}},
                                        {names.flux_run, {}},
                                        {names.flux_run_min, {}},
                                        {names.flux_run_max, {}}};
  for (const BlockValues& block : blocks.blocks) {
    if (!skipped[0].count.take(block.time)) {
      series.gap();
      continue;
    }
    const double x =
        time.since_first_sample() ? time.axis_time(block.time.value) : block.time.value;
    const bool flagged = block.flag >= 1;
    const auto plot_value = [&](Line& line, const Field& value, SkipCount* count) {
      const bool number = count ? count->take(value) : value.state == FieldState::number;
      if (!number) {
        line.points.gap();
        return;
      }
      const bool alone = flagged && beyond(value.value);
      if (alone) line.points.gap();
      line.points.add({x, value.value});
      if (alone) line.points.gap();
    };
    const auto plot_range = [&](Band& band, bool numbers, double low, double high) {
      if (numbers && !(flagged && (beyond(low) || beyond(high)))) {
        band.points.add({x, low, high});
      } else {
        band.points.gap();
      }
    };
    plot_value(series.main, block.flux_corrected, nullptr);
    plot_value(series.flux_l, block.flux_linear, &skipped[1].count);
    plot_value(series.flux_r, block.flux_run, &skipped[2].count);
    plot_value(series.mean_removed, block.flux_mean_removed, nullptr);
    const bool low = skipped[3].count.take(block.flux_run_min);
    const bool high = skipped[4].count.take(block.flux_run_max);
    plot_range(series.spread, low && high, block.flux_run_min.value, block.flux_run_max.value);
    const ValueRange error = error_range(block);
    plot_range(series.errors, !std::isnan(error.low), error.low, error.high);
    const Field& marked = marked_value(block);
    if (flagged && marked.state == FieldState::number) {
      series.flags[block.flag].points.add({x, marked.value});
    }
  }

  chart.bands.push_back(std::move(series.spread));
  if (!names.random_error.empty()) chart.bands.push_back(std::move(series.errors));
  // The main line first in the legend, and drawn first: the dashed lines
  // stay visible on top of it.
  if (!names.flux_corrected.empty()) chart.lines.push_back(std::move(series.main));
  chart.lines.push_back(std::move(series.flux_l));
  chart.lines.push_back(std::move(series.flux_r));
  if (!names.flux_mean_removed.empty()) chart.lines.push_back(std::move(series.mean_removed));
  for (int flag : {1, 2}) {
    if (series.flags[flag].points.point_count() > 0)
      chart.lines.push_back(std::move(series.flags[flag]));
  }
  add_notes(chart, {skip_note(blocks.file_label, skipped, names.time)}, ".");
  chart.empty_message =
      blocks.blocks.empty()
          ? "No complete block in this run: " + blocks.file_label + " has no rows."
          : "No value of " + blocks.file_label + " could be plotted.";
  fit_to_drawing(chart);
  append_off_scale_notes(chart, blocks);
  return chart;
}

}  // namespace ecflux::plot
