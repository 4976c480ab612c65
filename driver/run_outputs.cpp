#include "driver/run_outputs.h"
#include "base/descriptor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <set>

#include "driver/run_inputs.h"

namespace ecflux::driver {
namespace {

using report::OutputRole;
using textio::OutputFile;

// The table's files in the order in which records reach them.
constexpr std::array<OutputRole, report::output_files.size()> write_order = [] {
  std::array<const report::OutputFileInfo*, report::output_files.size()> files{};
  for (std::size_t i = 0; i < files.size(); ++i) files[i] = &report::output_files[i];
  std::sort(files.begin(), files.end(),
            [](const auto* a, const auto* b) { return a->write_order < b->write_order; });
  std::array<OutputRole, report::output_files.size()> roles{};
  for (std::size_t i = 0; i < roles.size(); ++i) roles[i] = files[i]->role;
  return roles;
}();

void sync_folder(const std::string& folder) {
  const base::Descriptor descriptor(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (descriptor.open()) [[maybe_unused]]
    const int synced = ::fsync(descriptor.get());
}

// The files of the table that a run with these options writes aside.
template <class Visit>
base::Status for_each_staged_output(const input::Configuration& config, bool csv, bool spectra,
                                    Visit visit) {
  for (const report::OutputFileInfo& file : report::output_files) {
    if (!report::written_by_run(file, csv, spectra) || file.role == OutputRole::standard_output) {
      continue;
    }
    if (auto status = visit(file, report::output_name(file, config.results_file_name));
        !status.ok()) {
      return status;
    }
  }
  return {};
}

}  // namespace

base::Result<OutputFiles> OutputFiles::open(const input::Configuration& config, bool csv,
                                            bool spectra, bool progress_lines) {
  OutputFiles opened;
  opened.files_.resize(report::output_files.size());
  if (progress_lines) {
    opened.files_[report::table_index(OutputRole::standard_output)] = OutputFile::standard_output();
  }
  auto status = for_each_staged_output(
      config, csv, spectra,
      [&opened](const report::OutputFileInfo& file, std::string_view name) -> base::Status {
        ECFLUX_TRY_VALUE(staged, OutputFile::open_staged(name, file.unit));
        opened.files_[report::table_index(file.role)] = std::move(staged);
        return {};
      });
  if (!status.ok()) return std::move(status.failure());
  return opened;
}

bool OutputFiles::has(OutputRole role) const {
  return files_[report::table_index(role)].has_value();
}

OutputFile& OutputFiles::operator[](OutputRole role) { return *files_[report::table_index(role)]; }

base::Status OutputFiles::first_failure() const {
  for (const OutputRole role : write_order) {
    const auto& file = files_[report::table_index(role)];
    if (!file) continue;
    base::Status status = file->status();
    if (!status.ok()) return status;
  }
  return {};
}

base::Status OutputFiles::finish(bool durable) {
  for (auto& file : files_) {
    if (file) file->finish(durable).ok();
  }
  return first_failure();
}

base::Status OutputFiles::put_in_place(bool durable, std::vector<std::string>& replaced) {
  std::set<std::string> folders;
  for (auto& file : files_) {
    if (!file || file->staged_path().empty()) continue;
    const std::string staged = file->staged_path();
    if (auto placed = file->put_in_place(); !placed.ok()) return placed;
    replaced.push_back(file->path());
    folders.insert(staged.substr(0, staged.rfind('/') + 1));
  }
  if (durable) {
    for (const std::string& folder : folders) sync_folder(folder);
  }
  return {};
}

std::vector<std::string> OutputFiles::staged_paths() const {
  std::vector<std::string> paths;
  for (const auto& file : files_) {
    if (file && !file->staged_path().empty()) paths.push_back(file->staged_path());
  }
  return paths;
}

base::Status check_outputs_can_be_written(const input::Configuration& config, bool csv,
                                          bool spectra) {
  return for_each_staged_output(config, csv, spectra,
                                [](const report::OutputFileInfo& file, std::string_view name) {
                                  return OutputFile::check_stageable(name, file.unit);
                                });
}

bool earlier_results_exist(const std::string& results_file_name) {
  for (const report::OutputFileInfo& file : report::output_files) {
    if (file.written_by == report::WrittenBy::plot || file.role == OutputRole::standard_output) {
      continue;
    }
    const std::string name(report::output_name(file, results_file_name));
    struct stat status {};
    if (!name.empty() && ::stat(name.c_str(), &status) == 0 && S_ISREG(status.st_mode)) {
      return true;
    }
  }
  return false;
}

std::vector<std::string> remove_leftovers(const input::Configuration& config) {
  std::vector<std::string> leftovers = leftover_staged_files(config);
  for (const std::string& path : leftovers) ::unlink(path.c_str());
  return leftovers;
}

void remove_stale_csv_files(bool csv, bool spectra) {
  for (const report::OutputFileInfo& file : report::output_files) {
    const bool optional = file.written_by == report::WrittenBy::csv_run ||
                          file.written_by == report::WrittenBy::spectra_run;
    if (!optional || report::written_by_run(file, csv, spectra)) continue;
    const std::string name(file.fixed_name);
    struct stat status {};
    if (::lstat(name.c_str(), &status) == 0 && S_ISREG(status.st_mode)) ::unlink(name.c_str());
  }
}

}  // namespace ecflux::driver
