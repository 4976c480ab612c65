#pragma once

// Texts joined at compile time, so that a header or a row layout derived
// from a table of columns costs nothing at run time and can be checked by
// static_assert.

#include <array>
#include <cstddef>
#include <string_view>

namespace ecflux::textio {

namespace detail {

struct TextLength {
  std::size_t length = 0;
  constexpr void operator()(std::string_view part) { length += part.size(); }
  constexpr void operator()(int number) {
    do {
      ++length;
      number /= 10;
    } while (number > 0);
  }
};

template <std::size_t N>
struct TextWriter {
  std::array<char, N> text{};
  std::size_t at = 0;
  constexpr void operator()(std::string_view part) {
    for (const char c : part) text[at++] = c;
  }
  constexpr void operator()(int number) {
    if (number >= 10) (*this)(number / 10);
    text[at++] = static_cast<char>('0' + number % 10);
  }
};

template <class Text>
constexpr std::size_t text_length() {
  TextLength counter;
  Text::put(counter);
  return counter.length;
}

template <class Text>
inline constexpr auto text_characters = [] {
  TextWriter<text_length<Text>()> writer;
  Text::put(writer);
  return writer.text;
}();

}  // namespace detail

// The text that Text::put(sink) puts, part by part: each part a string or a
// non-negative number written in decimal.
template <class Text>
inline constexpr std::string_view joined_text{detail::text_characters<Text>.data(),
                                              detail::text_characters<Text>.size()};

}  // namespace ecflux::textio
