#pragma once

// What a program assumes about its inputs and cannot check, as a value: the
// run's warnings travel like its failures, to the driver, which prints them,
// records them in run.json and counts them for --strict.

#include <cstdint>
#include <string>
#include <string_view>

namespace ecflux::base {

enum class WarningKind {
  configuration_text,  // text in the configuration that is not read as it looks
  values_unread,       // values of the data on a line after a record's seventh
  uneven_sampling,     // a time step off 1/fs: a gap, a repeated or a backward time
  implausible_value,   // a velocity or temperature beyond plausible bounds
  wide_time,           // a time that cumflux.out and CFSHIFT.out cannot hold
  unreadable_value,    // a value that is not a number, which ends the input
  dropped_samples,     // what the samples after the last complete block held
  plane_uncertain,     // the planar fit's mean currents run close to one line
};

// The kind's name in run.json and blocks.csv.
std::string_view warning_kind_name(WarningKind kind);

struct Warning {
  WarningKind kind;
  std::string file;        // the absolute path of the file it concerns
  std::int64_t line = 0;   // of that file, the first where it happens; 0 for none
  std::int64_t count = 1;  // how many times it happens, where the text counts them
  std::string text;        // the message, without the program's name
};

}  // namespace ecflux::base
