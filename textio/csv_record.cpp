#include "textio/csv_record.h"

#include <charconv>
#include <cmath>

#include "textio/shortest_text.h"

namespace ecflux::textio {

void CsvRecord::separate() {
  if (started_) text_ += ',';
  started_ = true;
}

CsvRecord& CsvRecord::add(double value) {
  separate();
  if (!std::isfinite(value)) return *this;
  append_shortest_text(text_, value);
  return *this;
}

CsvRecord& CsvRecord::add(std::int64_t value) {
  separate();
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  text_.append(digits, end);
  return *this;
}

}  // namespace ecflux::textio
