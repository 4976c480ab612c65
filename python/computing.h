#pragma once

// What every call of the module computes under, and how a failure reaches
// Python: as the exception the package raises, with the program's lines.

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/descriptor.h"
#include "base/result.h"
#include "base/stop_signals.h"
#include "input/command_line.h"

namespace ecflux::python {

namespace py = pybind11;

// Raised with a dict that says what failed; the package raises the exception
// of its kind from it.
extern PyObject* failure_type;

// The working directory of the caller, given back when the computation ends,
// however it ends.
class WorkingDirectoryKept {
 public:
  WorkingDirectoryKept();
  ~WorkingDirectoryKept();
  WorkingDirectoryKept(const WorkingDirectoryKept&) = delete;
  WorkingDirectoryKept& operator=(const WorkingDirectoryKept&) = delete;

 private:
  base::Descriptor descriptor_;
};

// What the computation runs under: the caller's working directory kept, the
// stop signals caught (only in the interpreter's main thread, whose signals
// they are) and one computation at a time; the interpreter's lock is
// released for all of it.
class Computing {
 public:
  explicit Computing(bool catch_signals);

 private:
  py::gil_scoped_release released_;
  std::lock_guard<std::mutex> lock_;
  WorkingDirectoryKept directory_;
  std::optional<base::StopSignalScope> signals_;
};

// Raises the failure: its kind, the program's line (and the hint's line
// where there is one), every line the program would have printed, and the
// exit status it would have ended with.
[[noreturn]] void raise_failure(const base::Failure& failure, std::vector<std::string> lines,
                                int status);

// The options of a call as the program's command line has them, read by the
// program's own rules: a mistake raises with the program's text.
input::CommandLine parse_options(const std::vector<std::string>& arguments,
                                 input::ProgramOptions accepted);

}  // namespace ecflux::python
