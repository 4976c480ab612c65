// Axis ticks, the thinning of long series and the drawing's text.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "plot/axis.h"
#include "plot/chart.h"
#include "plot/decimator.h"
#include "plot/svg.h"
#include "tests/plot/plot_reading.h"

namespace ecflux::plot {
namespace {

std::vector<std::string> labels(const Axis& axis) {
  std::vector<std::string> all;
  for (const auto& tick : axis.ticks) all.push_back(tick.label);
  return all;
}

TEST(Axis, LinearTicksAreNiceStepsWithinTheData) {
  const Axis fluxes = linear_axis(-169.75, 8.92, 4);
  EXPECT_EQ(labels(fluxes), (std::vector<std::string>{"-150", "-100", "-50", "0"}));
  EXPECT_DOUBLE_EQ(fluxes.low, -169.75);
  EXPECT_DOUBLE_EQ(fluxes.high, 8.92);
  EXPECT_DOUBLE_EQ(fluxes.fraction(8.92), 1.0);

  // Small values: decimals follow the step, and zero has no sign.
  EXPECT_EQ(labels(linear_axis(-0.0072, 0.00004, 4)),
            (std::vector<std::string>{"-0.006", "-0.004", "-0.002", "0.000"}));
  EXPECT_EQ(tick_label(-0.0001, 3), "0.000");
  // Reversed ends are the same range.
  EXPECT_EQ(labels(linear_axis(3.0, 1.0, 2)), (std::vector<std::string>{"1", "2", "3"}));
  // Never fewer than two ticks, however few are asked for.
  EXPECT_EQ(labels(linear_axis(0.95, 1.05, 1)), (std::vector<std::string>{"0.95", "1.00", "1.05"}));
  // A single value is widened around itself; a single zero by one.
  const Axis one = linear_axis(29.95, 29.95, 5);
  EXPECT_LT(one.low, 29.95);
  EXPECT_GT(one.high, 29.95);
  EXPECT_EQ(labels(linear_axis(0.0, 0.0, 2)), (std::vector<std::string>{"-1", "0", "1"}));
}

TEST(Axis, LogarithmicTicksAreDecadesWithMinorTicksBetween) {
  const Axis frequencies = log_axis(0.016892, 5.0);
  EXPECT_DOUBLE_EQ(frequencies.low, 0.01);
  EXPECT_DOUBLE_EQ(frequencies.high, 10.0);
  std::vector<std::string> labelled;
  for (const auto& tick : frequencies.ticks)
    if (!tick.label.empty()) labelled.push_back(tick.label);
  EXPECT_EQ(labelled, (std::vector<std::string>{"0.01", "0.1", "1", "10"}));
  EXPECT_EQ(frequencies.ticks.size(), 4u + 3u * 8u);
  EXPECT_NEAR(frequencies.fraction(0.1), 1.0 / 3.0, 1e-12);

  // Within one decade: one decade, with 2 and 5 labelled too.
  const Axis narrow = log_axis(0.2, 0.3);
  EXPECT_DOUBLE_EQ(narrow.low, 0.1);
  EXPECT_DOUBLE_EQ(narrow.high, 1.0);
  EXPECT_EQ(narrow.ticks[1].label, "0.2");
  EXPECT_EQ(narrow.ticks[4].label, "0.5");
  EXPECT_EQ(narrow.ticks[2].label, "");
}

// Values from a damaged file can span every double; the axes must still end
// and place them.
TEST(Axis, RangesAsWideAsTheDoublesGiveFiniteTicks) {
  constexpr double largest = std::numeric_limits<double>::max();
  for (const auto& [low, high] : std::vector<std::pair<double, double>>{
           {-largest, largest}, {-1.7e308, 1.7e308}, {largest, largest}, {0.0, 5e-324}}) {
    const Axis axis = linear_axis(low, high, 8);
    ASSERT_GE(axis.ticks.size(), 2u) << low << " " << high;
    for (const auto& tick : axis.ticks) EXPECT_TRUE(std::isfinite(tick.value)) << tick.label;
    EXPECT_TRUE(std::isfinite(axis.fraction(high))) << low << " " << high;
  }
  EXPECT_NEAR(linear_axis(-largest, largest, 8).fraction(0.0), 0.5, 1e-12);
  EXPECT_EQ(tick_label(-1.5e308, 0), "-1.5e+308");
  const Axis frequencies = log_axis(5e-324, largest);
  EXPECT_TRUE(std::isfinite(frequencies.high));
  EXPECT_GT(frequencies.low, 0.0);
}

std::vector<Point> kept_points(const Decimator& thinned, std::size_t* segments = nullptr) {
  Pieces<Point> pieces;
  thinned.fill(pieces);
  if (segments) *segments = pieces.segments.size();
  std::vector<Point> all;
  for (const auto& segment : pieces.segments) all.insert(all.end(), segment.begin(), segment.end());
  return all;
}

TEST(Decimator, ShortSeriesIsKeptWholeAndGapsBreakIt) {
  Decimator thinned(10);
  for (int i = 0; i < 5; ++i) thinned.add(i, i * i);
  thinned.gap();
  thinned.gap();
  for (int i = 5; i < 8; ++i) thinned.add(i, -i);
  std::size_t segments = 0;
  const auto points = kept_points(thinned, &segments);
  ASSERT_EQ(points.size(), 8u);
  EXPECT_EQ(segments, 2u);
  for (std::size_t i = 0; i < points.size(); ++i)
    EXPECT_DOUBLE_EQ(points[i].x, static_cast<double>(i));
}

TEST(Decimator, LongSeriesKeepsBoundedPointsWithEndsAndExtremes) {
  Decimator thinned(50);
  const int rows = 1'000'003;
  for (int i = 0; i < rows; ++i) {
    double y = (i % 17) * 0.01;
    if (i == 777'777) y = -3.0;
    if (i == 12'345) y = 4.0;
    thinned.add(i * 0.5, y);
  }
  const auto points = kept_points(thinned);
  EXPECT_LE(points.size(), 400u);
  EXPECT_GE(points.size(), 100u);
  EXPECT_DOUBLE_EQ(points.front().x, 0.0);
  EXPECT_DOUBLE_EQ(points.back().x, (rows - 1) * 0.5);
  double lowest = 0.0, highest = 0.0;
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (i > 0) {
      EXPECT_GT(points[i].x, points[i - 1].x);
    }
    lowest = std::min(lowest, points[i].y);
    highest = std::max(highest, points[i].y);
  }
  EXPECT_DOUBLE_EQ(lowest, -3.0);
  EXPECT_DOUBLE_EQ(highest, 4.0);
}

TEST(Svg, TextIsEscapedAndAChartWithoutPointsSaysWhy) {
  EXPECT_EQ(escape_xml("a<b & \"c\" > 'd'"), "a&lt;b &amp; &quot;c&quot; &gt; &apos;d&apos;");
  // Bytes of no XML character, as a damaged file holds them, become U+FFFD;
  // characters of any length stay.
  const std::string bad = "\xEF\xBF\xBD";
  const char damaged[] = "t\0\x01\tK·m/day \xE2\x82\xAC \xF0\x9F\x8C\x8A";
  EXPECT_EQ(escape_xml(std::string(damaged, sizeof damaged - 1)),
            "t" + bad + bad + "\tK·m/day € 🌊");
  EXPECT_EQ(escape_xml("\xFF\xC3(\xED\xA0\x80\xEF\xBF\xBF\xE2\x82"),
            bad + bad + "(" + bad + bad + bad + bad + bad + bad + bad + bad);

  Chart chart;
  chart.title = "Fluxes <W/m²> & \"more\"";
  chart.x_title = "time";
  chart.y_title = "flux";
  chart.notes = {"note 1 & 2"};
  chart.empty_message = "No complete block in this run: results.out has no rows.";
  Line lone{"lone \"line\"", "#000000", Marker::none, {}};
  lone.points.gap();
  chart.lines.push_back(lone);
  const testing::PlotReading empty(render_svg(chart));
  EXPECT_FALSE(empty.has_axes());
  EXPECT_NE(empty.text().find("Fluxes <W/m²> & \"more\""), std::string::npos);
  EXPECT_NE(empty.text().find(chart.empty_message), std::string::npos);
  EXPECT_NE(empty.text().find("note 1 & 2"), std::string::npos);

  // One point alone is still drawn, as a dot, on axes around it.
  chart.lines[0].points.add({29.95, -115.55});
  const testing::PlotReading single(render_svg(chart));
  ASSERT_TRUE(single.has_axes());
  const auto points = single.series_points("lone \"line\"");
  ASSERT_EQ(points.size(), 1u);
  EXPECT_NEAR(points[0].x, 29.95, single.x_resolution());
  EXPECT_NEAR(points[0].y, -115.55, single.y_resolution());
  EXPECT_EQ(single.text().find(chart.empty_message), std::string::npos);
}

}  // namespace
}  // namespace ecflux::plot
