#include "driver/run_inputs.h"

#include <cstdint>
#include <string>

#include "driver/file_guard.h"
#include "textio/available_memory.h"

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

textio::Result<RunInputs> open_run_inputs(RunLock* lock, bool csv) {
  std::vector<textio::FieldPlace> places;
  auto configuration = input::read_configuration(&places);
  if (!configuration.ok()) return std::move(configuration.failure());
  const input::Configuration& config = configuration.value();
  if (lock != nullptr) {
    auto taken = lock_run_folder();
    if (!taken.ok()) return std::move(taken.failure());
    *lock = std::move(taken.value());
  }

  auto sizes = input::derive_block_sizes(config);
  if (!sizes.ok()) return std::move(sizes.failure());
  auto data = input::open_data_file(config.data_file_name);
  if (!data.ok()) return std::move(data.failure());
  if (auto distinct = check_files_are_distinct(config, csv); !distinct.ok()) {
    return std::move(distinct.failure());
  }
  if (auto memory = check_memory(sizes.value()); !memory.ok()) return std::move(memory.failure());
  return RunInputs{std::move(configuration.value()), std::move(places), sizes.value(),
                   std::move(data.value())};
}

input::ReadSettings read_settings(const RunInputs& inputs,
                                  const volatile std::sig_atomic_t* interrupted) {
  const input::Configuration& config = inputs.config;
  return {inputs.sizes.block_samples, config.start_time,        config.end_time, config.w_select,
          config.temperature_select,  inputs.sizes.sample_rate, interrupted};
}

}  // namespace ecflux::driver
