#pragma once

// Numbers taken from the fixed columns of one output record, each field on
// its own: a field that holds no number leaves only its own value missing,
// not the whole record.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "textio/record_format.h"

namespace ecflux::plot {

enum class FieldState {
  number,
  asterisks,     // the value did not fit its field when it was written
  not_a_number,  // NaN, Infinity, blanks, a record too short, other text
};

struct Field {
  FieldState state = FieldState::not_a_number;
  double value = 0.0;
};

// The field of `width` columns at `begin` (counted from 0) read as Fw.d.
// Blanks are not zero here: an output file never holds a blank field, so a
// blank or absent one (a cut record) is missing.
Field read_field(std::string_view record, std::size_t begin, int width, int decimals);

// A field's text without the blanks around it.
std::string_view trim_blanks(std::string_view text);

// Every field of the record as the format places them, one per field.
void read_fields(const textio::RecordFormat& format, std::string_view record,
                 std::vector<Field>& fields);

// Values that could not be shown, by why.
struct SkipCount {
  std::int64_t asterisks = 0;
  std::int64_t not_a_number = 0;

  // Counts the field when it is not a number; true when it is one.
  bool take(const Field& field);
};

// What could not be shown of one column, for the notes; `name` as the file
// names the column.
struct SkippedColumn {
  std::string name;
  SkipCount count;
};

}  // namespace ecflux::plot
