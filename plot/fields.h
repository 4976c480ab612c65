#pragma once

// Numbers taken from the fixed columns of one output record, each field on
// its own: a field that holds no number leaves only its own value missing,
// not the whole record.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

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

// The real fields of a one-record layout of F and X items, such as
// "5(1X,F12.8)", by their columns.
class RecordFields {
 public:
  // nullopt when the codes are malformed or hold an item other than F or X.
  static std::optional<RecordFields> make(std::string_view codes);

  std::size_t size() const { return columns_.size(); }
  // Replaces `fields` with the record's fields, one per F item.
  void read(std::string_view record, std::vector<Field>& fields) const;

 private:
  struct Column {
    std::size_t begin;
    int width;
    int decimals;
  };
  std::vector<Column> columns_;
};

// Values that could not be shown, by why.
struct SkipCount {
  std::int64_t asterisks = 0;
  std::int64_t not_a_number = 0;

  // Counts the field when it is not a number; true when it is one.
  bool take(const Field& field);
  std::int64_t total() const { return asterisks + not_a_number; }
};

}  // namespace ecflux::plot
