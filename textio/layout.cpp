#include "textio/layout.h"

#include <utility>

#include "textio/field_readers.h"
#include "textio/fields.h"
#include "textio/line_reader.h"

namespace ecflux::textio {

namespace {

// Upper bounds that keep a malformed layout from expanding without limit.
constexpr long max_count = 1000000;
constexpr std::size_t max_items = 1000000;

LayoutItem make_item(ItemKind kind, int width = 0) {
  LayoutItem item;
  item.kind = kind;
  item.width = width;
  return item;
}

class LayoutParser {
 public:
  explicit LayoutParser(std::string_view codes) : codes_(codes) {}

  std::optional<Layout> parse() {
    Layout layout;
    if (!parse_list(layout.items, false)) return std::nullopt;
    return layout;
  }

 private:
  bool at_end() const { return pos_ >= codes_.size(); }
  char peek() const { return at_end() ? '\0' : codes_[pos_]; }
  void skip_blanks() {
    while (!at_end() && codes_[pos_] == ' ') ++pos_;
  }

  // An unsigned number; false when there is none or it is too large.
  bool number(long& value) {
    if (at_end() || codes_[pos_] < '0' || codes_[pos_] > '9') return false;
    value = 0;
    while (!at_end() && codes_[pos_] >= '0' && codes_[pos_] <= '9') {
      value = value * 10 + (codes_[pos_] - '0');
      if (value > max_count) return false;
      ++pos_;
    }
    return true;
  }

  bool width(int& value) {
    long w;
    if (!number(w) || w < 1 || w > max_field_width) return false;
    value = static_cast<int>(w);
    return true;
  }

  bool add(std::vector<LayoutItem>& items, LayoutItem item) {
    if (items.size() >= max_items) return false;
    items.push_back(std::move(item));
    return true;
  }

  // Items separated by commas or blanks (a slash needs neither), up to the
  // end of the codes or, inside a group, its closing parenthesis.
  bool parse_list(std::vector<LayoutItem>& items, bool in_group) {
    bool need_separator = false;
    for (;;) {
      const std::size_t before_blanks = pos_;
      skip_blanks();
      bool separated = pos_ != before_blanks;
      if (peek() == ',') {
        // A comma between two items, never first or doubled.
        if (!need_separator) return false;
        ++pos_;
        skip_blanks();
        separated = true;
        if (at_end() || peek() == ')' || peek() == ',') return false;
      }
      if (at_end()) return !in_group;
      if (peek() == ')') {
        if (!in_group) return false;
        ++pos_;
        return true;
      }
      long count = 1;
      const bool counted = number(count);
      if (counted && count < 1) return false;
      const char code = peek();
      if (need_separator && !separated && code != '/') return false;
      ++pos_;
      switch (code) {
        case '/':
          if (!add(items, make_item(ItemKind::next_record, static_cast<int>(count)))) return false;
          // A slash separates by itself.
          need_separator = false;
          continue;
        case 'F':
        case 'f': {
          LayoutItem item = make_item(ItemKind::real);
          long decimals;
          if (!width(item.width) || peek() != '.') return false;
          ++pos_;
          if (!number(decimals) || decimals >= item.width) return false;
          item.decimals = static_cast<int>(decimals);
          if (!repeat(items, item, count)) return false;
          break;
        }
        case 'I':
        case 'i':
        case 'A':
        case 'a': {
          LayoutItem item =
              make_item((code == 'I' || code == 'i') ? ItemKind::integer : ItemKind::text);
          if (!width(item.width) || !repeat(items, item, count)) return false;
          break;
        }
        case 'X':
        case 'x':
          if (!counted || !add(items, make_item(ItemKind::skip, static_cast<int>(count)))) {
            return false;
          }
          break;
        case '\'': {
          if (counted) return false;
          LayoutItem item = make_item(ItemKind::literal);
          for (;;) {
            if (at_end()) return false;
            const char c = codes_[pos_++];
            if (c == '\'') {
              if (peek() != '\'') break;
              ++pos_;
            }
            item.literal += c;
          }
          if (!add(items, std::move(item))) return false;
          break;
        }
        case '(': {
          std::vector<LayoutItem> group;
          if (!parse_list(group, true)) return false;
          for (long i = 0; i < count; ++i) {
            for (const LayoutItem& item : group) {
              if (!add(items, item)) return false;
            }
          }
          break;
        }
        default: return false;
      }
      // After an item: a slash, a comma, blanks, the end or a closing
      // parenthesis.
      need_separator = true;
    }
  }

  bool repeat(std::vector<LayoutItem>& items, const LayoutItem& item, long count) {
    for (long i = 0; i < count; ++i) {
      if (!add(items, item)) return false;
    }
    return true;
  }

  std::string_view codes_;
  std::size_t pos_ = 0;
};

}  // namespace

std::optional<Layout> parse_layout(std::string_view codes) { return LayoutParser(codes).parse(); }

base::Status read_records(LineReader& reader, const Layout& layout, std::vector<FieldValue>& values,
                          std::vector<FieldPlace>* places) {
  values.clear();
  if (places != nullptr) places->clear();
  std::string_view record;
  const auto next_record = [&]() -> base::Status {
    base::Result<bool> line = reader.next(record);
    if (!line.ok()) return std::move(line.failure());
    if (!line.value()) return reader.failure(base::IoCondition::end_of_file);
    return {};
  };
  if (auto status = next_record(); !status.ok()) return status;
  std::size_t column = 0;
  // The field's columns as far as the record reaches; the rest are blanks.
  const auto take = [&](int width) {
    const std::size_t begin = std::min(column, record.size());
    const std::size_t end = std::min(column + static_cast<std::size_t>(width), record.size());
    if (places != nullptr) {
      places->push_back(
          {reader.line_number(), column + 1, width, std::string(record.substr(0, begin)),
           std::string(record.substr(begin, end - begin)), std::string(record.substr(end))});
    }
    column += static_cast<std::size_t>(width);
    return record.substr(begin, end - begin);
  };
  for (const LayoutItem& item : layout.items) {
    switch (item.kind) {
      case ItemKind::real: {
        // Blanks do not count in a number, so a short field needs no padding.
        const auto number = read_real_field(take(item.width), item.decimals);
        if (!number) return reader.failure(base::IoCondition::conversion_error);
        values.emplace_back(*number);
        break;
      }
      case ItemKind::integer: {
        const auto number = read_integer_field(take(item.width));
        if (!number) return reader.failure(base::IoCondition::conversion_error);
        values.emplace_back(*number);
        break;
      }
      case ItemKind::text: {
        std::string text(take(item.width));
        text.resize(static_cast<std::size_t>(item.width), ' ');
        values.emplace_back(std::move(text));
        break;
      }
      case ItemKind::skip: column += static_cast<std::size_t>(item.width); break;
      case ItemKind::literal: break;  // literals belong to output only
      case ItemKind::next_record:
        for (int i = 0; i < item.width; ++i) {
          if (auto status = next_record(); !status.ok()) return status;
        }
        column = 0;
        break;
    }
  }
  return {};
}

}  // namespace ecflux::textio
