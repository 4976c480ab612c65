#include "tests/plot/svg_document.h"

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

namespace ecflux::testing {
namespace {

class XmlParser {
 public:
  explicit XmlParser(std::string_view text) : text_(text) {}

  std::unique_ptr<XmlElement> document() {
    if (text_.substr(0, 5) == "<?xml") {
      const auto end = text_.find("?>");
      if (end == std::string_view::npos) fail("unterminated declaration");
      at_ = end + 2;
    }
    skip_misc();
    if (peek() != '<') fail("no root element");
    auto root = element();
    skip_misc();
    if (at_ != text_.size()) fail("content after the root element");
    return root;
  }

 private:
  [[noreturn]] void fail(const std::string& what) const {
    throw std::runtime_error("malformed XML at offset " + std::to_string(at_) + ": " + what);
  }
  char peek() const { return at_ < text_.size() ? text_[at_] : '\0'; }
  bool starts(std::string_view prefix) const { return text_.substr(at_, prefix.size()) == prefix; }
  void expect(char c) {
    if (peek() != c) fail(std::string("expected '") + c + "'");
    ++at_;
  }
  void skip_blanks() {
    while (at_ < text_.size() &&
           std::string_view(" \t\r\n").find(text_[at_]) != std::string_view::npos)
      ++at_;
  }
  void skip_comment() {
    const auto end = text_.find("-->", at_);
    if (end == std::string_view::npos) fail("unterminated comment");
    at_ = end + 3;
  }
  void skip_misc() {
    for (;;) {
      skip_blanks();
      if (!starts("<!--")) return;
      skip_comment();
    }
  }
  static bool name_start(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == ':';
  }
  std::string name() {
    if (!name_start(peek())) fail("expected a name");
    const auto begin = at_;
    while (name_start(peek()) || std::isdigit(static_cast<unsigned char>(peek())) ||
           peek() == '-' || peek() == '.')
      ++at_;
    return std::string(text_.substr(begin, at_ - begin));
  }
  // Character data up to `stop`, entities replaced; a raw '<' or '&' is a fault.
  std::string characters(char stop) {
    std::string out;
    while (at_ < text_.size() && text_[at_] != stop) {
      const char c = text_[at_];
      if (c == '<') fail("'<' in an attribute value");
      if (c == '&') {
        const auto end = text_.find(';', at_);
        if (end == std::string_view::npos) fail("unterminated entity");
        const auto entity = text_.substr(at_ + 1, end - at_ - 1);
        if (entity == "amp")
          out += '&';
        else if (entity == "lt")
          out += '<';
        else if (entity == "gt")
          out += '>';
        else if (entity == "quot")
          out += '"';
        else if (entity == "apos")
          out += '\'';
        else if (entity.size() > 1 && entity[0] == '#') {
          const bool hex = entity[1] == 'x';
          const auto digits = std::string(entity.substr(hex ? 2 : 1));
          char* parsed_end = nullptr;
          const long code = std::strtol(digits.c_str(), &parsed_end, hex ? 16 : 10);
          if (digits.empty() || *parsed_end != '\0' || code <= 0) fail("bad character reference");
          out += code < 128 ? static_cast<char>(code) : '?';
        } else {
          fail("unknown entity &" + std::string(entity) + ";");
        }
        at_ = end + 1;
      } else {
        out += c;
        ++at_;
      }
    }
    return out;
  }
  std::unique_ptr<XmlElement> element() {
    expect('<');
    auto node = std::make_unique<XmlElement>();
    node->name = name();
    for (;;) {
      const bool blank = std::string_view(" \t\r\n").find(peek()) != std::string_view::npos;
      skip_blanks();
      if (peek() == '/' || peek() == '>') break;
      if (!blank) fail("attributes must be separated by blanks");
      const auto key = name();
      skip_blanks();
      expect('=');
      skip_blanks();
      const char quote = peek();
      if (quote != '"' && quote != '\'') fail("unquoted attribute value");
      ++at_;
      auto value = characters(quote);
      expect(quote);
      if (!node->attributes.emplace(key, std::move(value)).second)
        fail("repeated attribute " + key);
    }
    if (peek() == '/') {
      ++at_;
      expect('>');
      return node;
    }
    expect('>');
    for (;;) {
      if (at_ >= text_.size()) fail("unclosed element " + node->name);
      if (starts("</")) {
        at_ += 2;
        if (name() != node->name) fail("end tag does not match " + node->name);
        skip_blanks();
        expect('>');
        return node;
      }
      if (starts("<!--")) {
        skip_comment();
      } else if (peek() == '<') {
        node->children.push_back(element());
      } else {
        const auto begin = at_;
        auto text = characters('<');
        if (text_.substr(begin, at_ - begin).find("]]>") != std::string_view::npos)
          fail("]]> in text");
        node->text += text;
      }
    }
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

std::vector<double> numbers(const std::string& text) {
  std::vector<double> values;
  std::string spaced = text;
  for (char& c : spaced)
    if (c == ',') c = ' ';
  std::istringstream in(spaced);
  double value;
  while (in >> value) values.push_back(value);
  return values;
}

double number_attribute(const XmlElement& element, const std::string& key) {
  const auto values = numbers(element.attribute(key));
  if (values.size() != 1) throw std::runtime_error("attribute " + key + " is not one number");
  return values[0];
}

}  // namespace

std::string XmlElement::attribute(const std::string& key) const {
  const auto found = attributes.find(key);
  return found == attributes.end() ? std::string() : found->second;
}

std::vector<const XmlElement*> XmlElement::descendants() const {
  std::vector<const XmlElement*> all;
  for (const auto& child : children) {
    all.push_back(child.get());
    const auto below = child->descendants();
    all.insert(all.end(), below.begin(), below.end());
  }
  return all;
}

std::string XmlElement::all_text() const {
  std::string text = this->text;
  for (const auto& child : children) text += " " + child->all_text();
  return text;
}

std::unique_ptr<XmlElement> parse_xml(std::string_view text) { return XmlParser(text).document(); }

PlotReading::PlotReading(std::string_view svg) : root_(parse_xml(svg)) {
  for (const XmlElement* element : root_->descendants()) {
    const auto kind = element->attribute("class");
    if (kind != "x-tick" && kind != "y-tick") continue;
    const XmlElement* mark = nullptr;
    const XmlElement* label = nullptr;
    for (const auto& child : element->children) {
      if (child->name == "line") mark = child.get();
      if (child->name == "text") label = child.get();
    }
    if (mark == nullptr) throw std::runtime_error("tick without a mark");
    if (label == nullptr) {
      if (kind == "x-tick") log_x_ = true;  // unlabelled ticks are a logarithmic axis's
      continue;
    }
    const double value = std::stod(label->text);
    if (kind == "x-tick")
      x_.push_back({number_attribute(*mark, "x1"), value});
    else
      y_.push_back({number_attribute(*mark, "y1"), value});
  }
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

std::vector<std::string> PlotReading::series_labels() const {
  std::vector<std::string> labels;
  for (const XmlElement* element : root_->descendants())
    if (element->attributes.count("data-series"))
      labels.push_back(element->attribute("data-series"));
  return labels;
}

std::vector<PlotPoint> PlotReading::series_points(const std::string& label) const {
  std::vector<PlotPoint> points;
  for (const XmlElement* element : root_->descendants()) {
    if (element->attribute("data-series") != label) continue;
    std::vector<PlotPoint> pixels;
    for (const auto& child : element->children) {
      if (child->name == "polyline") {
        const auto values = numbers(child->attribute("points"));
        for (std::size_t i = 0; i + 1 < values.size(); i += 2)
          pixels.push_back({values[i], values[i + 1]});
      } else if (child->name == "circle") {
        const PlotPoint dot{number_attribute(*child, "cx"), number_attribute(*child, "cy")};
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
