#include "base/result.h"

#include <unistd.h>

#include <cerrno>
#include <vector>

namespace ecflux::base {

int severity_number(IoCondition condition) {
  switch (condition) {
    case IoCondition::file_not_found: return 29;
    case IoCondition::permission_denied: return 9;
    case IoCondition::open_failure: return 30;
    case IoCondition::end_of_file: return 24;
    case IoCondition::conversion_error: return 64;
    case IoCondition::write_error: return 38;
    case IoCondition::read_error: return 39;
  }
  return 0;
}

namespace {

const char* condition_text(IoCondition condition) {
  switch (condition) {
    case IoCondition::file_not_found: return "file not found";
    case IoCondition::permission_denied: return "permission to access file denied";
    case IoCondition::open_failure: return "open failure";
    case IoCondition::end_of_file: return "end-of-file during read";
    case IoCondition::conversion_error: return "input conversion error";
    case IoCondition::write_error: return "error during write";
    case IoCondition::read_error: return "error during read";
  }
  return "unknown input/output failure";
}

}  // namespace

IoCondition open_condition(int error, FileUse use) {
  if (use == FileUse::reading && error == ENOENT) return IoCondition::file_not_found;
  if (error == EACCES || error == EPERM || (use == FileUse::writing && error == EROFS)) {
    return IoCondition::permission_denied;
  }
  return IoCondition::open_failure;
}

std::string failure_text(const IoFailure& failure) {
  std::string text = condition_text(failure.condition);
  if (failure.unit != 0) {
    text += ", unit ";
    text += std::to_string(failure.unit);
  }
  text += ", file ";
  text += failure.path;
  return text;
}

std::string Failure::message() const {
  if (const auto* refused = std::get_if<Refusal>(&reason)) return refused->message;
  if (const auto* lack = std::get_if<ResourceFailure>(&reason)) return lack->message;
  if (std::holds_alternative<Interruption>(reason)) return "interrupted";
  return {};
}

std::string fatal_message(const Failure& failure, std::string_view program) {
  if (const IoFailure* io = failure.io_failure()) {
    return "forrtl: severe (" + std::to_string(severity_number(io->condition)) +
           "): " + failure_text(*io);
  }
  return std::string(program) + ": " + failure.message();
}

std::string absolute_path(std::string_view name) {
  if (!name.empty() && name.front() == '/') return std::string(name);
  // getcwd with a buffer that grows until the working directory fits.
  std::vector<char> buffer(4096);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) {
      // Without a working directory the name is all that can be shown.
      return std::string(name);
    }
    buffer.resize(buffer.size() * 2);
  }
  std::string path(buffer.data());
  if (path.empty() || path.back() != '/') path += '/';
  path += name;
  return path;
}

}  // namespace ecflux::base
