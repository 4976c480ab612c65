#include "tests/plot/plot_reading.h"

#include <charconv>
#include <cmath>
#include <set>
#include <stdexcept>
#include <system_error>

namespace ecflux::testing {
namespace {

[[noreturn]] void malformed(const std::string& what) {
  throw std::runtime_error("malformed XML: " + what);
}

// Whether every '&' of unescaped text starts a predefined entity or a
// character reference, the only ones a document without a DTD may use.
bool references_valid(std::string_view text) {
  for (auto at = text.find('&'); at != std::string_view::npos; at = text.find('&', at + 1)) {
    const auto end = text.find(';', at);
    if (end == std::string_view::npos) return false;
    const auto name = text.substr(at + 1, end - at - 1);
    if (name == "amp" || name == "lt" || name == "gt" || name == "quot" || name == "apos") continue;
    if (!name.starts_with('#')) return false;
    const bool hex = name.starts_with("#x");
    const auto digits = name.substr(hex ? 2 : 1);
    if (digits.empty() || digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") !=
                              std::string_view::npos)
      return false;
  }
  return true;
}

// pugixml accepts some faults that a stricter reader such as a browser
// refuses: text or a second element beside the root, repeated attributes,
// raw '<' in attribute values and unknown entities. Those are looked for in
// a second reading that keeps the text unescaped.
void check_well_formed(std::string_view svg) {
  pugi::xml_document raw;
  const unsigned flags = (pugi::parse_default | pugi::parse_fragment) & ~pugi::parse_escapes;
  const auto parsed = raw.load_buffer(svg.data(), svg.size(), flags);
  if (!parsed)
    malformed("at offset " + std::to_string(parsed.offset) + ": " + parsed.description());
  int elements = 0;
  for (const pugi::xml_node node : raw.children()) {
    if (node.type() == pugi::node_pcdata) malformed("text outside the root element");
    if (node.type() == pugi::node_element) ++elements;
  }
  if (elements != 1) malformed(std::to_string(elements) + " elements at the top level");
  for (const auto& found : raw.select_nodes("//*")) {
    std::set<std::string_view> names;
    for (const pugi::xml_attribute attribute : found.node().attributes()) {
      const std::string_view value = attribute.value();
      if (!names.insert(attribute.name()).second)
        malformed("repeated attribute " + std::string(attribute.name()));
      if (value.find('<') != std::string_view::npos || !references_valid(value))
        malformed("attribute value \"" + std::string(value) + "\"");
    }
  }
  for (const auto& found : raw.select_nodes("//text()")) {
    if (found.node().type() != pugi::node_pcdata) continue;  // CDATA holds no references
    const std::string_view text = found.node().value();
    if (!references_valid(text) || text.find("]]>") != std::string_view::npos)
      malformed("text \"" + std::string(text) + "\"");
  }
}

// The numbers of an attribute, separated by blanks or commas as in the
// vertices of a polyline.
std::vector<double> numbers(pugi::xml_node element, const char* key) {
  const std::string_view text = element.attribute(key).value();
  std::vector<double> values;
  const char* at = text.data();
  const char* const end = at + text.size();
  for (;;) {
    while (at != end && (*at == ' ' || *at == ',')) ++at;
    if (at == end) return values;
    double value = 0.0;
    const auto [next, error] = std::from_chars(at, end, value);
    if (error != std::errc()) malformed(std::string(key) + "=\"" + std::string(text) + "\"");
    values.push_back(value);
    at = next;
  }
}

double number(pugi::xml_node element, const char* key) {
  const auto values = numbers(element, key);
  if (values.size() != 1) malformed("attribute " + std::string(key) + " is not one number");
  return values[0];
}

// The point that a marker drawn as a path marks: where its path begins,
// "M x y ...".
PlotPoint marked_point(pugi::xml_node path) {
  const std::string_view d = path.attribute("d").value();
  if (!d.starts_with('M')) malformed("marker path \"" + std::string(d) + "\"");
  double x = 0.0, y = 0.0;
  const char* const end = d.data() + d.size();
  const auto [after_x, x_error] = std::from_chars(d.data() + 1, end, x);
  if (x_error != std::errc() || after_x == end || *after_x != ' ')
    malformed("marker path \"" + std::string(d) + "\"");
  const auto [after_y, y_error] = std::from_chars(after_x + 1, end, y);
  if (y_error != std::errc()) malformed("marker path \"" + std::string(d) + "\"");
  return {x, y};
}

}  // namespace

PlotReading::PlotReading(std::string_view svg) {
  check_well_formed(svg);
  const auto parsed = document_.load_buffer(svg.data(), svg.size());
  if (!parsed) malformed(parsed.description());
  for (const pugi::xml_node tick : elements_with("class")) {
    const std::string_view kind = tick.attribute("class").value();
    if (kind != "x-tick" && kind != "y-tick") continue;
    const pugi::xml_node mark = tick.child("line");
    const pugi::xml_node label = tick.child("text");
    if (!mark) malformed("tick without a mark");
    if (!label) {
      if (kind == "x-tick") log_x_ = true;  // unlabelled ticks are a logarithmic axis's
      continue;
    }
    const double value = std::stod(label.child_value());
    if (kind == "x-tick")
      x_.push_back({number(mark, "x1"), value});
    else
      y_.push_back({number(mark, "y1"), value});
  }
}

std::vector<pugi::xml_node> PlotReading::elements_with(const char* attribute) const {
  auto found = document_.select_nodes(("//*[@" + std::string(attribute) + "]").c_str());
  found.sort();
  std::vector<pugi::xml_node> elements;
  for (const auto& node : found) elements.push_back(node.node());
  return elements;
}

double PlotReading::x_value(double pixel) const {
  const Tick& a = x_.front();
  const Tick& b = x_.back();
  const double at = (pixel - a.pixel) / (b.pixel - a.pixel);
  if (log_x_)
    return std::pow(10.0, std::log10(a.value) + at * (std::log10(b.value) - std::log10(a.value)));
  return a.value + at * (b.value - a.value);
}

double PlotReading::y_value(double pixel) const {
  const Tick& a = y_.front();
  const Tick& b = y_.back();
  return a.value + (pixel - a.pixel) / (b.pixel - a.pixel) * (b.value - a.value);
}

double PlotReading::x_resolution() const {
  return std::abs((x_.back().value - x_.front().value) / (x_.back().pixel - x_.front().pixel)) *
         0.01;
}

double PlotReading::y_resolution() const {
  return std::abs((y_.back().value - y_.front().value) / (y_.back().pixel - y_.front().pixel)) *
         0.01;
}

std::string PlotReading::text() const {
  std::string all;
  for (const auto& found : document_.select_nodes("//text()")) {
    all += found.node().value();
    all += ' ';
  }
  return all;
}

std::vector<std::string> PlotReading::series_labels() const {
  std::vector<std::string> labels;
  for (const pugi::xml_node series : elements_with("data-series"))
    labels.emplace_back(series.attribute("data-series").value());
  return labels;
}

std::vector<PlotPoint> PlotReading::series_points(const std::string& label) const {
  std::vector<PlotPoint> points;
  for (const pugi::xml_node series : elements_with("data-series")) {
    if (label != series.attribute("data-series").value()) continue;
    std::vector<PlotPoint> pixels;
    for (const pugi::xml_node shape : series.children()) {
      const std::string_view kind = shape.name();
      if (kind == "polyline") {
        const auto values = numbers(shape, "points");
        if (values.size() % 2 != 0) malformed("polyline with an odd count of coordinates");
        for (std::size_t i = 0; i < values.size(); i += 2)
          pixels.push_back({values[i], values[i + 1]});
      } else if (kind == "circle" || kind == "path") {
        const PlotPoint dot = kind == "circle" ? PlotPoint{number(shape, "cx"), number(shape, "cy")}
                                               : marked_point(shape);
        bool drawn = false;  // markers repeat the vertices of a polyline
        for (const auto& pixel : pixels) drawn = drawn || (pixel.x == dot.x && pixel.y == dot.y);
        if (!drawn) pixels.push_back(dot);
      }
    }
    for (const auto& pixel : pixels) points.push_back({x_value(pixel.x), y_value(pixel.y)});
  }
  return points;
}

}  // namespace ecflux::testing
