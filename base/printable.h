#pragma once

// Text from files (a configuration's fields, file names) shown to a person:
// control characters written as escapes, so that a message or a report can
// never move the cursor, clear the terminal or hide text.

#include <string>
#include <string_view>

namespace ecflux::base {

// `text` with every control character (below 32, and 127) as \t, \r, \n or
// \xHH, and a backslash as \\; every other byte, UTF-8 included, as it is.
std::string printable(std::string_view text);

}  // namespace ecflux::base
