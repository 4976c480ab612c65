#pragma once

// Free-form value lists: numbers separated by blanks, tabs or commas, a
// statement's values possibly running over several records.

#include <cstdint>
#include <span>

#include "textio/line_reader.h"

namespace ecflux::textio {

class ListReader {
 public:
  explicit ListReader(LineReader lines);

  // How a statement ended.
  enum class Outcome { complete, end_of_file, bad_value };

  // Reads values.size() values (possibly none) as one statement, starting at
  // the beginning of the next record:
  // - values are separated by blanks or tabs, or by a comma with optional
  //   blanks around it; the end of a record separates values too, and a
  //   statement goes on in the next record while values are missing;
  // - when all values are read, the rest of the current record is discarded,
  //   so a statement of no values skips exactly one record;
  // - r*v stands for r copies of v and r* for r null values; two commas with
  //   nothing between them give a null value; a null value leaves its entry
  //   of `values` unchanged;
  // - a slash ends the statement, leaving the remaining entries unchanged and
  //   discarding the rest of the record.
  // end_of_file when the file ends before the values are complete; bad_value
  // when a value is not a number (see parse_number); the failure read_error
  // when the file cannot be read.
  [[nodiscard]] base::Result<Outcome> read(std::span<double> values);

  // From now on the words NaN, Inf and Infinity (any case, with a sign) and
  // numbers beyond the range of a double are values that stand for no
  // measurement, read as a NaN, instead of values that are not numbers.
  void read_non_numbers_as_missing() { non_numbers_missing_ = true; }

  // Line number of the value that could not be read (after bad_value).
  std::int64_t bad_value_line() const { return bad_value_line_; }

  // How the last complete statement of values lay in the file, for the
  // warnings about data that do not have the shape the reader assumes.
  struct StatementShape {
    std::int64_t first_line = 0;  // of its first value
    bool continued = false;       // it went on over more than one line
    bool rest_unread = false;     // its last line held values after it
  };
  const StatementShape& last_statement() const { return last_statement_; }

  LineReader& lines() { return lines_; }
  const LineReader& lines() const { return lines_; }

 private:
  LineReader lines_;
  bool non_numbers_missing_ = false;
  std::int64_t bad_value_line_ = 0;
  StatementShape last_statement_;
};

}  // namespace ecflux::textio
