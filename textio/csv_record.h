#pragma once

// One record of a comma-separated file for scripts: numbers at full
// precision (the shortest text that reads back to the same double, with a
// point for the decimals), integers as written, and an empty field where a
// value is not finite. No field ever needs quoting.

#include <cstdint>
#include <string>
#include <string_view>

namespace ecflux::textio {

class CsvRecord {
 public:
  CsvRecord& add(double value);
  CsvRecord& add(std::int64_t value);
  CsvRecord& add(int value) { return add(static_cast<std::int64_t>(value)); }

  // The fields so far, separated by commas; no line end.
  std::string_view text() const { return text_; }
  void clear() {
    text_.clear();
    started_ = false;
  }

 private:
  void separate();

  std::string text_;
  bool started_ = false;  // a first field, perhaps empty, is there
};

}  // namespace ecflux::textio
