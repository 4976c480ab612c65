#include "textio/csv_record.h"

#include <charconv>
#include <cmath>

namespace ecflux::textio {

void CsvRecord::separate() {
  if (started_) text_ += ',';
  started_ = true;
}

CsvRecord& CsvRecord::add(double value) {
  separate();
  if (!std::isfinite(value)) return *this;
  char digits[32];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  text_.append(digits, end);
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
