#include "textio/list_reader.h"

#include <algorithm>
#include <array>
#include <utility>

#include "textio/fields.h"

namespace ecflux::textio {

namespace {

// Characters that end a value: blank, tab, comma and slash.
constexpr std::array<bool, 256> value_ends = [] {
  std::array<bool, 256> table{};
  table[static_cast<unsigned char>(' ')] = true;
  table[static_cast<unsigned char>('\t')] = true;
  table[static_cast<unsigned char>(',')] = true;
  table[static_cast<unsigned char>('/')] = true;
  return table;
}();

inline bool ends_value(char c) { return value_ends[static_cast<unsigned char>(c)]; }

inline bool is_blank(char c) { return c == ' ' || c == '\t'; }

inline bool is_digit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

// Powers of ten that are exact doubles.
constexpr double pow10_exact[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                    1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                    1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The common value: an optional sign, at most 19 digits with an optional
// point, no exponent, and a value end right after it. The digits form an
// exact integer and at most 22 decimals divide it by an exact power of ten,
// so the one division rounds correctly. False, leaving `p`, for anything
// else, which then goes through the general conversion.
inline bool plain_decimal(const char*& p, const char* end, double& value) {
  const char* q = p;
  bool negative = false;
  if (*q == '-') {
    negative = true;
    ++q;
  } else if (*q == '+') {
    ++q;
  }
  std::uint64_t digits = 0;
  const char* const first = q;
  while (q != end && is_digit(*q)) {
    digits = digits * 10 + static_cast<unsigned>(*q - '0');
    ++q;
  }
  std::ptrdiff_t count = q - first;
  std::ptrdiff_t decimals = 0;
  if (q != end && *q == '.') {
    const char* const point = ++q;
    while (q != end && is_digit(*q)) {
      digits = digits * 10 + static_cast<unsigned>(*q - '0');
      ++q;
    }
    decimals = q - point;
    count += decimals;
  }
  if (count == 0 || count > 19 || decimals > 22 || digits > (std::uint64_t{1} << 53) ||
      (q != end && !ends_value(*q))) {
    return false;
  }
  double v = static_cast<double>(digits);
  if (decimals > 0) v /= pow10_exact[decimals];
  value = negative ? -v : v;
  p = q;
  return true;
}

// The repeat count of an r*... value: digits, not zero. The count is capped
// at `cap`, because repeats beyond the values still needed are ignored.
bool repeat_count(std::string_view digits, std::size_t cap, std::size_t& count) {
  if (digits.empty()) return false;
  std::size_t value = 0;
  bool nonzero = false;
  for (const char c : digits) {
    if (c < '0' || c > '9') return false;
    nonzero |= c != '0';
    value = std::min(cap, value * 10 + static_cast<std::size_t>(c - '0'));
  }
  if (!nonzero) return false;
  count = value;
  return true;
}

}  // namespace

ListReader::ListReader(LineReader lines) : lines_(std::move(lines)) {}

ListReader::Status ListReader::read(std::span<double> values) {
  const std::size_t wanted = values.size();
  std::size_t filled = 0;
  // True where a comma gives a null value: at the start of the statement and
  // right after a comma.
  bool after_comma = true;
  std::string_view record;
  for (;;) {
    switch (lines_.next(record)) {
      case LineReader::Status::record: break;
      case LineReader::Status::end_of_file: return Status::end_of_file;
      case LineReader::Status::read_error: return Status::read_error;
    }
    if (wanted == 0) return Status::complete;
    const char* p = record.data();
    const char* const end = p + record.size();
    for (;;) {
      while (p != end && is_blank(*p)) ++p;
      if (p == end) break;  // the end of the record separates like a blank
      const char c = *p;
      if (c == ',') {
        if (after_comma && ++filled == wanted) return Status::complete;
        after_comma = true;
        ++p;
        continue;
      }
      if (c == '/') return Status::complete;

      after_comma = false;
      if (plain_decimal(p, end, values[filled])) {
        if (++filled == wanted) return Status::complete;
        continue;
      }
      const char* const begin = p;
      while (p != end && !ends_value(*p)) ++p;
      const std::string_view token(begin, static_cast<std::size_t>(p - begin));
      if (const auto number = parse_number(token)) {
        values[filled] = *number;
        if (++filled == wanted) return Status::complete;
        continue;
      }
      // r*v (r copies of v) or r* (r null values).
      const std::size_t star = token.find('*');
      std::size_t repeats = 0;
      if (star == std::string_view::npos ||
          !repeat_count(token.substr(0, star), wanted - filled, repeats)) {
        bad_value_line_ = lines_.line_number();
        return Status::bad_value;
      }
      const std::string_view repeated = token.substr(star + 1);
      if (repeated.empty()) {
        filled += repeats;
      } else {
        const auto number = parse_number(repeated);
        if (!number) {
          bad_value_line_ = lines_.line_number();
          return Status::bad_value;
        }
        std::fill_n(values.begin() + static_cast<std::ptrdiff_t>(filled), repeats, *number);
        filled += repeats;
      }
      if (filled == wanted) return Status::complete;
    }
  }
}

}  // namespace ecflux::textio
