#include "python/computing.h"

#include <fcntl.h>
#include <unistd.h>

#include <mutex>
#include <utility>

#include "base/printable.h"
#include "driver/messages.h"
#include "input/block_reader.h"
#include "input/configuration.h"
#include "report/output_files.h"

namespace ecflux::python {

PyObject* failure_type = nullptr;

namespace {

// One computation at a time in a process: a run makes its folder the
// working directory, and the stop signals and the run's lines are the
// process's, not a thread's.
std::mutex one_at_a_time;

// The kind of a failure, as the package names its exceptions.
std::string failure_kind(const base::Failure& failure) {
  if (const base::IoFailure* io = failure.io_failure()) {
    if (io->unit == input::configuration_unit) return "configuration";
    if (io->unit == input::data_unit) return "data";
    for (const report::OutputFileInfo& file : report::output_files) {
      if (file.unit == io->unit && file.unit != 0) return "output";
    }
    return "io";
  }
  if (failure.refusal() != nullptr) return "refused";
  if (failure.interruption() != nullptr) return "interrupted";
  return "resource";
}

}  // namespace

WorkingDirectoryKept::WorkingDirectoryKept()
    : descriptor_(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}

WorkingDirectoryKept::~WorkingDirectoryKept() {
  if (!descriptor_.open()) return;
  [[maybe_unused]] const int back = ::fchdir(descriptor_.get());
}

Computing::Computing(bool catch_signals) : lock_(one_at_a_time) {
  if (catch_signals) signals_.emplace();
}

[[noreturn]] void raise_failure(const base::Failure& failure, std::vector<std::string> lines,
                                int status) {
  // The lines as the program prints them, with the control characters of
  // names escaped.
  std::vector<std::string> own = {base::printable(base::fatal_message(failure))};
  if (!failure.hint.empty()) {
    own.push_back(base::printable(driver::program_line(failure.hint)));
  }
  // An interruption's line is the run's last, which says how far it came.
  std::string message = failure.interruption() != nullptr && !lines.empty() ? lines.back() : own[0];
  if (own.size() > 1) message += "\n" + own[1];
  if (lines.empty()) lines = std::move(own);
  py::dict fields;
  fields["kind"] = failure_kind(failure);
  fields["message"] = message;
  fields["lines"] = std::move(lines);
  fields["status"] = status;
  if (const base::IoFailure* io = failure.io_failure()) {
    fields["unit"] = io->unit;
    fields["path"] = io->path;
    fields["severity"] = base::severity_number(io->condition);
  }
  if (const base::Interruption* interruption = failure.interruption()) {
    fields["signal"] = interruption->signal;
  }
  PyErr_SetObject(failure_type, fields.ptr());
  throw py::error_already_set();
}

input::CommandLine parse_options(const std::vector<std::string>& arguments,
                                 input::ProgramOptions accepted) {
  std::vector<const char*> pointers;
  for (const std::string& argument : arguments) pointers.push_back(argument.c_str());
  auto line = input::parse_command_line(pointers, accepted);
  if (line.ok() && (line.value().help || line.value().version)) {
    line =
        base::Refusal{"unknown option " + std::string(line.value().help ? "--help" : "--version")};
  }
  if (!line.ok()) {
    py::dict fields;
    fields["kind"] = "usage";
    const std::string message = driver::program_line(line.failure().message());
    fields["message"] = message;
    fields["lines"] = std::vector<std::string>{message};
    fields["status"] = 2;
    PyErr_SetObject(failure_type, fields.ptr());
    throw py::error_already_set();
  }
  return std::move(line.value());
}

}  // namespace ecflux::python
