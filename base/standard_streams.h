#pragma once

// The three standard streams of a program that writes files of its own.

#include "base/result.h"

namespace ecflux::base {

// Puts "/dev/null" on every standard descriptor that is closed, so that no
// file the program opens takes its number: a closed standard output would
// otherwise receive the progress lines into an output file, a closed standard
// error the messages. Standard output is opened for reading only, so that
// writing to it still fails as it would closed; standard input and error
// take and lose everything as before.
void occupy_closed_standard_streams();

// Ignores the signals that would end the program without a word while it
// writes: SIGPIPE (a closed pipe on standard output) and SIGXFSZ (a file size
// limit). The write then fails and is reported with the file, and what was
// written before stays in whole records.
void ignore_signals_of_failed_writes();

// Writes out what is buffered for standard output (C's stdout and C++'s
// std::cout) and tells whether every write reached it: a full device, a
// closed standard output or a broken pipe is a write_error of unit 6, which
// a program reports and ends with status 1, as the GNU tools do.
[[nodiscard]] Status finish_standard_output();

}  // namespace ecflux::base
