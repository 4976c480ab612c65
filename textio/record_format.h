#pragma once

// A one-record layout of real fields and skips, such as "5(1X,F12.8)", with
// the columns of every field worked out once: the form in which the run's
// rows are written and read back field by field.

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace ecflux::textio {

class RecordFormat {
 public:
  struct Field {
    std::size_t begin;  // first column, counted from 0
    int width;
    int decimals;
  };

  // nullopt when the codes are malformed or hold an item other than Fw.d and
  // nX (a second record, a literal, an integer or a text field).
  static std::optional<RecordFormat> make(std::string_view codes);

  std::span<const Field> fields() const { return fields_; }
  // The columns of a record that fills every field.
  std::size_t length() const { return length_; }

  // Writes the record of `values`, one per field from the first (at most
  // fields().size()), at `out`, and returns the position after it. The record
  // ends with the field of the last value: the skips before a field are
  // written as blanks only when the field is.
  char* put(char* out, std::span<const double> values) const;

 private:
  std::vector<Field> fields_;
  std::size_t length_ = 0;
};

}  // namespace ecflux::textio
