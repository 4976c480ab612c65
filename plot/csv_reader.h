#pragma once

// Reading of the comma-separated files of a run (blocks.csv and
// window_fluxes.csv): a header row of column names, then rows of numbers.
// ecflux never quotes a field, so a field is the text between two commas;
// whatever is not one finite number (an empty field, a word, a quoted value)
// is a missing value of its own field, never of its row.

#include <cstddef>
#include <initializer_list>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "plot/fields.h"
#include "textio/line_reader.h"

namespace ecflux::plot {

// The fields of one record, split at every comma: a record of n commas has
// n + 1 fields, an empty record one empty field. With `field_limit`, only the
// first that many fields (at least one), however long the record.
void split_csv(std::string_view record, std::vector<std::string_view>& fields,
               std::size_t field_limit = std::numeric_limits<std::size_t>::max());

// A field as a number: the whole field, blanks around it allowed, must be
// one finite decimal number. An empty field (a value that was not finite)
// and any other text are not_a_number.
Field read_csv_number(std::string_view text);

class CsvFile {
 public:
  // Reads the header of `reader`. A file without a first record fails as an
  // early end of file; one whose header lacks a column of `required` is
  // refused, naming `label` and the column.
  static base::Result<CsvFile> open(textio::LineReader reader, std::string label,
                                    std::initializer_list<std::string_view> required);

  const std::string& label() const { return label_; }
  const std::vector<std::string>& names() const { return names_; }
  // The place of the first column of that name in the header.
  std::optional<std::size_t> column(std::string_view name) const;

  // Makes the next row current: true when there is one, false at the end,
  // the read failure of the file otherwise.
  [[nodiscard]] base::Result<bool> next();

  // The current row as written, and its fields; a field beyond the row's
  // end is empty.
  std::string_view record() const { return record_; }
  std::string_view text(std::size_t column) const;
  Field number(std::size_t column) const { return read_csv_number(text(column)); }

 private:
  CsvFile(textio::LineReader reader, std::string label) noexcept;

  textio::LineReader reader_;
  std::string label_;
  std::vector<std::string> names_;
  std::string_view record_;
  std::vector<std::string_view> fields_;
};

}  // namespace ecflux::plot
