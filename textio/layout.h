#pragma once

// Layouts: a record's shape as a list of edit items ("F12.4, 6(1X,F7.3)",
// "28/ 23X,A20 /// 23X,A20"), applied left to right to a list of values.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/result.h"

namespace ecflux::textio {

class LineReader;

enum class ItemKind {
  real,         // Fw.d
  integer,      // Iw
  text,         // Aw
  skip,         // nX
  literal,      // 'text'
  next_record,  // / and n/
};

struct LayoutItem {
  ItemKind kind;
  int width = 0;     // F, I, A: field width; X: columns; /: records
  int decimals = 0;  // F only
  std::string literal;
};

// The items of a layout in the order they are applied, repeat counts and
// groups expanded.
struct Layout {
  std::vector<LayoutItem> items;
};

// Parses the codes Fw.d, Iw, Aw, nX, /, n/, 'text' (a doubled quote stands for
// one quote), nF..., nI..., nA... and n(...), separated by commas or blanks.
// nullopt when the codes are malformed or a width exceeds max_field_width.
std::optional<Layout> parse_layout(std::string_view codes);

// The value that one data item of a record gives on input.
struct FieldValue {
  ItemKind kind = ItemKind::real;  // real, integer or text
  double real = 0.0;
  std::int64_t integer = 0;
  std::string text;

  FieldValue() = default;
  FieldValue(double value) : kind(ItemKind::real), real(value) {}
  FieldValue(std::int64_t value) : kind(ItemKind::integer), integer(value) {}
  FieldValue(std::string value) : kind(ItemKind::text), text(std::move(value)) {}
};

// Where a data item of a statement was read, for reports and messages that
// name a field.
struct FieldPlace {
  std::int64_t line = 0;         // counted from 1
  std::size_t first_column = 0;  // counted from 1
  int width = 0;
  std::string before;  // the line before the field (a label)
  std::string text;    // the field's columns as far as the line reaches
  std::string rest;    // the line after the field
};

// Reads one statement with the layout from the reader's next record on: every
// data item gives one value, of the item's kind, to `values` (replaced). A
// slash makes the next record current; a field reaching past the end of a
// short record reads as if padded with blanks. Fails with end_of_file when a
// record is needed after the last one, conversion_error when a numeric field
// does not hold a number, or the reader's read_error. With `places`, every
// data item read also gives its place there (replaced); after a
// conversion_error the last place is that of the field that failed.
base::Status read_records(LineReader& reader, const Layout& layout, std::vector<FieldValue>& values,
                          std::vector<FieldPlace>* places = nullptr);

}  // namespace ecflux::textio
