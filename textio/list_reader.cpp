#include "textio/list_reader.h"

#include <algorithm>
#include <array>
#include <limits>
#include <utility>

#include "textio/numbers.h"

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

// Whether the rest of a record holds a value, which a complete statement
// leaves unread: anything but blanks and commas.
bool holds_a_value(const char* p, const char* end) {
  for (; p != end; ++p) {
    if (!is_blank(*p) && *p != ',') return true;
  }
  return false;
}

// The common value: a number in the syntax of parse_number, followed by a
// value end or the end of the record, that converts exactly in one step.
// False, leaving `p`, for anything else, which then goes through the token
// path that also knows repeats.
inline bool exact_number(const char*& p, const char* end, double& value) {
  const ScannedNumber number = scan_number(p, end);
  if (!number.valid || (number.end != end && !ends_value(*number.end)) ||
      !convert_exact(number, value)) {
    return false;
  }
  p = number.end;
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

// A word that a logger writes for no measurement, or a number too large for a
// double.
bool stands_for_missing(std::string_view token) {
  if (!token.empty() && (token.front() == '+' || token.front() == '-')) token.remove_prefix(1);
  const auto is = [token](std::string_view word) {
    return token.size() == word.size() &&
           std::equal(token.begin(), token.end(), word.begin(),
                      [](char a, char b) { return (a | 0x20) == b; });
  };
  if (is("nan") || is("inf") || is("infinity")) return true;
  const ScannedNumber number = scan_number(token.data(), token.data() + token.size());
  return number.valid && number.end == token.data() + token.size();
}

}  // namespace

ListReader::ListReader(LineReader lines) : lines_(std::move(lines)) {}

base::Result<ListReader::Outcome> ListReader::read(std::span<double> values) {
  const std::size_t wanted = values.size();
  std::size_t filled = 0;
  // True where a comma gives a null value: at the start of the statement and
  // right after a comma.
  bool after_comma = true;
  std::string_view record;
  // The line of the statement's first value: a line that gives none (a blank
  // one) does not begin the statement.
  std::int64_t first_line = 0;
  for (;;) {
    base::Result<bool> line = lines_.next(record);
    if (!line.ok()) return std::move(line.failure());
    if (!line.value()) return Outcome::end_of_file;
    if (wanted == 0) return Outcome::complete;
    const char* p = record.data();
    const char* const end = p + record.size();
    if (filled == 0) first_line = lines_.line_number();
    // The statement is complete with the value that ends at `at`.
    const auto complete = [&](const char* at) {
      last_statement_ = {first_line, lines_.line_number() != first_line, holds_a_value(at, end)};
      return Outcome::complete;
    };
    for (;;) {
      while (p != end && is_blank(*p)) ++p;
      if (p == end) break;  // the end of the record separates like a blank
      const char c = *p;
      if (c == ',') {
        if (after_comma && ++filled == wanted) return complete(p + 1);
        after_comma = true;
        ++p;
        continue;
      }
      // A slash ends the statement on purpose; what follows it is not data.
      if (c == '/') {
        last_statement_ = {first_line, lines_.line_number() != first_line, false};
        return Outcome::complete;
      }

      after_comma = false;
      if (exact_number(p, end, values[filled])) {
        if (++filled == wanted) return complete(p);
        continue;
      }
      const char* const begin = p;
      while (p != end && !ends_value(*p)) ++p;
      const std::string_view token(begin, static_cast<std::size_t>(p - begin));
      if (const auto number = parse_number(token)) {
        values[filled] = *number;
        if (++filled == wanted) return complete(p);
        continue;
      }
      if (non_numbers_missing_ && stands_for_missing(token)) {
        values[filled] = std::numeric_limits<double>::quiet_NaN();
        if (++filled == wanted) return complete(p);
        continue;
      }
      // r*v (r copies of v) or r* (r null values).
      const std::size_t star = token.find('*');
      std::size_t repeats = 0;
      if (star == std::string_view::npos ||
          !repeat_count(token.substr(0, star), wanted - filled, repeats)) {
        bad_value_line_ = lines_.line_number();
        return Outcome::bad_value;
      }
      const std::string_view repeated = token.substr(star + 1);
      if (repeated.empty()) {
        filled += repeats;
      } else {
        const auto number = parse_number(repeated);
        if (!number) {
          bad_value_line_ = lines_.line_number();
          return Outcome::bad_value;
        }
        std::fill_n(values.begin() + static_cast<std::ptrdiff_t>(filled), repeats, *number);
        filled += repeats;
      }
      if (filled == wanted) return complete(p);
    }
  }
}

}  // namespace ecflux::textio
