#include "driver/run_inputs.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <set>
#include <string>

#include "report/output_files.h"
#include "textio/available_memory.h"
#include "textio/file_paths.h"

namespace ecflux::driver {
namespace {

// A generous bound of what a run holds per sample of its blocks: the block,
// its statistics and fluctuation series (12 doubles), the reciprocals of the
// sample counts (2), two sweep batches of w and temperature for eight lanes
// (32), and the rows of a few blocks on their way to the files (40).
constexpr std::uint64_t bytes_per_block_sample = 96 * sizeof(double);

// Memory is promised more freely than it exists: a run whose blocks cannot
// fit in the memory the machine can still give would be killed while filling
// its tables, without a word. Such a run is refused before anything is
// written. Blocks that fit take their memory as samples arrive.
textio::Status check_memory(const input::BlockSizes& sizes) {
  const auto available = textio::available_memory();
  if (!available) return {};
  const std::uint64_t needed =
      static_cast<std::uint64_t>(sizes.block_samples) * bytes_per_block_sample;
  if (needed <= *available) return {};
  return textio::Refusal{"blocks of " + std::to_string(sizes.block_samples) +
                         " samples need about " + std::to_string(needed >> 20) +
                         " MB of memory, more than the " + std::to_string(*available >> 20) +
                         " MB this machine can give; nothing was written"};
}

}  // namespace

std::vector<std::string> leftover_staged_files(const input::Configuration& config) {
  std::set<std::string> found;
  if (DIR* folder = ::opendir(".")) {
    while (const dirent* entry = ::readdir(folder)) {
      if (textio::is_staged_name(entry->d_name)) found.insert(textio::absolute_path(entry->d_name));
    }
    ::closedir(folder);
  }
  for (const report::OutputFileInfo& file : report::output_files) {
    if (file.role == report::OutputRole::standard_output) continue;
    const std::string staged = textio::staged_path(
        textio::resolved_path(report::output_name(file, config.results_file_name)));
    struct stat status {};
    if (::lstat(staged.c_str(), &status) == 0 && S_ISREG(status.st_mode)) found.insert(staged);
  }
  return {found.begin(), found.end()};
}

report::RunFileNames run_file_names(const input::Configuration& config) {
  return {config.data_file_name, input::configuration_file_name, config.results_file_name};
}

textio::Result<RunInputs> open_run_inputs() {
  std::vector<textio::FieldPlace> places;
  auto configuration = input::read_configuration(&places);
  if (!configuration.ok()) return std::move(configuration.failure());
  const input::Configuration& config = configuration.value();

  auto sizes = input::derive_block_sizes(config);
  if (!sizes.ok()) return std::move(sizes.failure());
  auto data = input::open_data_file(config.data_file_name);
  if (!data.ok()) return std::move(data.failure());
  if (auto distinct = report::check_files_are_distinct(run_file_names(config)); !distinct.ok()) {
    return std::move(distinct.failure());
  }
  if (auto memory = check_memory(sizes.value()); !memory.ok()) return std::move(memory.failure());
  return RunInputs{std::move(configuration.value()), std::move(places), sizes.value(),
                   std::move(data.value())};
}

input::ReadSettings read_settings(const RunInputs& inputs) {
  const input::Configuration& config = inputs.config;
  return {inputs.sizes.block_samples, config.start_time,       config.end_time, config.w_select,
          config.temperature_select,  inputs.sizes.sample_rate};
}

}  // namespace ecflux::driver
