#include "report/output_guard.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "base/file_paths.h"
#include "report/output_files.h"

namespace ecflux::report {
namespace {

struct NamedFile {
  std::string description;
  std::string name;
};

std::string described(const NamedFile& file) {
  return file.description + " " + base::absolute_path(file.name);
}

std::string same_file_refusal(const std::string& first, const std::string& second) {
  return first + " and " + second + " are the same file; nothing was written";
}

// The run's inputs, then every output of the table.
std::vector<NamedFile> run_files(const RunFileNames& names, std::size_t& inputs) {
  std::vector<NamedFile> files = {
      {"the data file", std::string(names.data_file)},
      {"the configuration file", std::string(names.configuration_file)},
  };
  inputs = files.size();
  for (const OutputFileInfo& file : output_files) {
    if (file.role == OutputRole::standard_output) continue;
    files.push_back(
        {std::string(file.description), std::string(output_name(file, names.results_file))});
  }
  return files;
}

}  // namespace

base::Status check_files_are_distinct(const RunFileNames& names) {
  std::size_t inputs = 0;
  const std::vector<NamedFile> files = run_files(names, inputs);
  for (std::size_t i = 0; i < files.size(); ++i) {
    for (std::size_t j = std::max(i + 1, inputs); j < files.size(); ++j) {
      if (base::same_file(files[i].name, files[j].name)) {
        return base::Refusal{same_file_refusal(described(files[i]), described(files[j]))};
      }
    }
  }
  // A staged output stands beside the file it replaces, wherever a link
  // leads; an input there would be overwritten while the run writes, and
  // removed as a leftover by the next run.
  for (std::size_t i = 0; i < inputs; ++i) {
    for (std::size_t j = inputs; j < files.size(); ++j) {
      const NamedFile staged{"the file that holds " + files[j].description + " while it is written",
                             base::staged_path(base::resolved_path(files[j].name))};
      if (base::same_file(files[i].name, staged.name)) {
        return base::Refusal{same_file_refusal(described(files[i]), described(staged))};
      }
    }
  }
  return {};
}

base::Status check_standard_stream(int descriptor, const RunFileNames& names) {
  struct stat stream {};
  if (::fstat(descriptor, &stream) != 0 || !S_ISREG(stream.st_mode)) return {};
  std::size_t inputs = 0;
  for (const NamedFile& file : run_files(names, inputs)) {
    struct stat status {};
    if (::stat(file.name.c_str(), &status) == 0 && status.st_dev == stream.st_dev &&
        status.st_ino == stream.st_ino) {
      return base::Refusal{same_file_refusal(
          descriptor == STDERR_FILENO ? "standard error" : "standard output", described(file))};
    }
  }
  return {};
}

}  // namespace ecflux::report
