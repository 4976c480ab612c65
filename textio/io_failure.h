#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace ecflux::textio {

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
// absolute path) and what went wrong. Failures travel as values up to the run
// driver, which alone turns them into the fatal message.
struct IoFailure {
  IoCondition condition;
  int unit;
  std::string path;

  bool operator==(const IoFailure&) const = default;
};

int severity_number(IoCondition condition);

// The one-line fatal message without its line end, for example
// "forrtl: severe (29): file not found, unit 8, file /data/run1.txt".
std::string fatal_message(const IoFailure& failure);

// The working directory joined with a relative name; an absolute name is
// returned as it is. The name is not resolved any further.
std::string absolute_path(std::string_view name);

// A value or the failure that prevented it.
template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  Result(IoFailure failure) : state_(std::in_place_index<1>, std::move(failure)) {}

  bool ok() const { return state_.index() == 0; }
  T& value() { return std::get<0>(state_); }
  const T& value() const { return std::get<0>(state_); }
  const IoFailure& failure() const { return std::get<1>(state_); }

 private:
  std::variant<T, IoFailure> state_;
};

}  // namespace ecflux::textio
