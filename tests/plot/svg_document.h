#pragma once

// A strict reader of the plots' SVG files for the tests: it accepts only
// well-formed XML (one root element, balanced tags, quoted and unrepeated
// attributes, only the predefined and numeric entities) and gives the element
// tree, with the plot's axes turned back from pixels into values.

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ecflux::testing {

struct XmlElement {
  std::string name;
  std::map<std::string, std::string> attributes;
  std::string text;  // the element's own character data, entities replaced
  std::vector<std::unique_ptr<XmlElement>> children;

  std::string attribute(const std::string& key) const;
  // Every element below this one (not itself), depth first.
  std::vector<const XmlElement*> descendants() const;
  // All character data of this element and below.
  std::string all_text() const;
};

// Throws std::runtime_error naming the offset of the first fault.
std::unique_ptr<XmlElement> parse_xml(std::string_view text);

struct PlotPoint {
  double x;
  double y;
};

// A plot read back from its SVG: pixels turned into values through the
// labelled ticks of each axis.
class PlotReading {
 public:
  explicit PlotReading(std::string_view svg);

  const XmlElement& root() const { return *root_; }
  bool has_axes() const { return x_.size() >= 2 && y_.size() >= 2; }
  bool log_x() const { return log_x_; }
  // The series' points in drawing order: polyline vertices and lone dots.
  std::vector<PlotPoint> series_points(const std::string& label) const;
  std::vector<std::string> series_labels() const;
  // The value a pixel distance of 0.01 stands for on each axis.
  double x_resolution() const;
  double y_resolution() const;
  // All text of the drawing.
  std::string text() const { return root_->all_text(); }

 private:
  struct Tick {
    double pixel;
    double value;
  };
  double x_value(double pixel) const;
  double y_value(double pixel) const;

  std::unique_ptr<XmlElement> root_;
  std::vector<Tick> x_;
  std::vector<Tick> y_;
  bool log_x_ = false;
};

}  // namespace ecflux::testing
