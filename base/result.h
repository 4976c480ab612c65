#pragma once

// The one vocabulary of failures. Every failure travels as a value, in a
// Result or a Status, up to the program's driver, which alone turns it into
// the one line on standard error.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "base/assert.h"
#include "base/program.h"

namespace ecflux::base {

// The input/output conditions that end a run. Each has the number that the
// fatal message shows in parentheses.
enum class IoCondition {
  file_not_found,     // 29
  permission_denied,  // 9
  open_failure,       // 30
  end_of_file,        // 24
  conversion_error,   // 64
  write_error,        // 38
  read_error,         // 39
};

// A failed open, read or write of one file: which file (its unit number and
// absolute path) and what went wrong.
struct IoFailure {
  IoCondition condition;
  int unit;
  std::string path;

  bool operator==(const IoFailure&) const = default;
};

// A run declined before any file is touched. The message names the value or
// the file and what to do; the program puts its name before it.
struct Refusal {
  std::string message;

  bool operator==(const Refusal&) const = default;
};

// A run that cannot go on for want of memory or another resource of the
// system. The message names what was being done (the file and line where one
// is being read); the program puts its name before it.
struct ResourceFailure {
  std::string message;

  bool operator==(const ResourceFailure&) const = default;
};

// A stop signal that arrived while the program waited for a file or read
// one: the end of the run the person asked for, which the driver reports as
// such.
struct Interruption {
  int signal;

  bool operator==(const Interruption&) const = default;
};

// Why something did not happen: a file failed, the run was declined, the
// system could not give what it needed, or a stop signal arrived. `hint`, when not empty, is a
// second line (without the program's name) that helps find the cause, such as the line and columns
// of a configuration field that is not a number.
struct Failure {
  std::variant<IoFailure, Refusal, ResourceFailure, Interruption> reason;
  std::string hint;

  Failure(IoFailure failure) : reason(std::move(failure)) {}
  Failure(Refusal refusal) : reason(std::move(refusal)) {}
  Failure(ResourceFailure failure) : reason(std::move(failure)) {}
  Failure(Interruption interruption) : reason(interruption) {}

  const IoFailure* io_failure() const { return std::get_if<IoFailure>(&reason); }
  const Refusal* refusal() const { return std::get_if<Refusal>(&reason); }
  const Interruption* interruption() const { return std::get_if<Interruption>(&reason); }
  // The message of a refusal or of a lack of resources; empty for an
  // IoFailure.
  std::string message() const;

  bool operator==(const Failure&) const = default;
};

int severity_number(IoCondition condition);

// What a system call's errno makes of a file's failure, the one mapping of
// the system's errors to the conditions: for an open for reading, a missing
// file is file_not_found; for either open, a refused permission (or a
// read-only file system, for writing) permission_denied; anything else,
// a folder in the way among it, open_failure.
enum class FileUse { reading, writing };
IoCondition open_condition(int error, FileUse use);

// The condition, the unit and the file, as every program of the project words
// them: "file not found, unit 8, file /data/run1.txt". A unit of 0 (a file
// that has none) is left out.
std::string failure_text(const IoFailure& failure);

// The one-line fatal message of a program without its line end: for a file,
// "forrtl: severe (29): file not found, unit 8, file /data/run1.txt";
// otherwise the program's name and the message, "ecflux: sample_rate 0 ...".
std::string fatal_message(const Failure& failure, std::string_view program = program_name);

// The working directory joined with a relative name; an absolute name is
// returned as it is. The name is not resolved any further.
std::string absolute_path(std::string_view name);

// A value or the failure that prevented it.
template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  Result(Failure failure) : state_(std::in_place_index<1>, std::move(failure)) {}
  Result(IoFailure failure) : Result(Failure(std::move(failure))) {}
  Result(Refusal refusal) : Result(Failure(std::move(refusal))) {}
  Result(ResourceFailure failure) : Result(Failure(std::move(failure))) {}
  Result(Interruption interruption) : Result(Failure(interruption)) {}

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }
  T& value() {
    ECFLUX_ASSERT(ok(), "the value of a failed result");
    return std::get<0>(state_);
  }
  const T& value() const {
    ECFLUX_ASSERT(ok(), "the value of a failed result");
    return std::get<0>(state_);
  }
  Failure& failure() {
    ECFLUX_ASSERT(!ok(), "the failure of a result that holds none");
    return std::get<1>(state_);
  }
  const Failure& failure() const {
    ECFLUX_ASSERT(!ok(), "the failure of a result that holds none");
    return std::get<1>(state_);
  }

 private:
  std::variant<T, Failure> state_;
};

// Success, or the failure that prevented it.
template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Failure failure) : failure_(std::move(failure)) {}
  Result(IoFailure failure) : Result(Failure(std::move(failure))) {}
  Result(Refusal refusal) : Result(Failure(std::move(refusal))) {}
  Result(ResourceFailure failure) : Result(Failure(std::move(failure))) {}
  Result(Interruption interruption) : Result(Failure(interruption)) {}

  bool ok() const { return !failure_.has_value(); }
  explicit operator bool() const { return ok(); }
  Failure& failure() {
    ECFLUX_ASSERT(!ok(), "the failure of a result that holds none");
    return *failure_;
  }
  const Failure& failure() const {
    ECFLUX_ASSERT(!ok(), "the failure of a result that holds none");
    return *failure_;
  }

 private:
  std::optional<Failure> failure_;
};

using Status = Result<void>;

}  // namespace ecflux::base

// Passes the failure of a Status or a Result on: returns it from the
// enclosing function, which returns a Status or a Result itself.
#define ECFLUX_TRY(expression)                                    \
  do {                                                            \
    if (auto ecflux_tried_ = (expression); !ecflux_tried_.ok()) { \
      return std::move(ecflux_tried_.failure());                  \
    }                                                             \
  } while (false)

// Declares `name` as the value of a Result, held in a variable of its own,
// or returns the Result's failure from the enclosing function.
#define ECFLUX_TRY_VALUE(name, expression)                                          \
  auto ecflux_result_##name = (expression);                                         \
  if (!ecflux_result_##name.ok()) return std::move(ecflux_result_##name.failure()); \
  [[maybe_unused]] auto& name = ecflux_result_##name.value()
