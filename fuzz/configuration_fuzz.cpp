// The configuration reader on arbitrary bytes: it must end with a
// configuration, a refusal or a failure of the configuration file, never
// crash or loop, and what it accepts must be usable.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "input/configuration.h"
#include "textio/line_reader.h"

namespace {

using ecflux::base::IoCondition;

// Records of a text: every line feed ends one, and a last line without a
// line feed is one too.
std::size_t count_records(std::string_view text) {
  std::size_t count = 0;
  for (const char c : text) count += c == '\n';
  if (!text.empty() && text.back() != '\n') ++count;
  return count;
}

bool has_outer_blank(const std::string& name) {
  return !name.empty() && (name.front() == ' ' || name.back() == ' ');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string path = "/fuzz/ConfigDRAVEK.Dat";
  auto file = ecflux::textio::LineReader::from_text(text, ecflux::input::configuration_unit, path);
  const auto read = ecflux::input::read_configuration(file);
  const std::size_t records = count_records(text);

  if (!read.ok()) {
    const auto* failure_of_file = read.failure().io_failure();
    FUZZ_CHECK(failure_of_file != nullptr, "a refusal while reading");
    const auto& failure = *failure_of_file;
    FUZZ_CHECK(failure.unit == 2030 && failure.path == path, "failure of another file");
    if (failure.condition == IoCondition::end_of_file) {
      FUZZ_CHECK(records < 39, "end of file with %zu records", records);
    } else {
      FUZZ_CHECK(failure.condition == IoCondition::conversion_error, "unexpected condition %d",
                 static_cast<int>(failure.condition));
    }
    return 0;
  }
  FUZZ_CHECK(records >= 39, "a configuration from %zu records", records);

  const auto& config = read.value();
  FUZZ_CHECK(config.window_seconds <= config.block_seconds, "window longer than the block");
  FUZZ_CHECK(config.data_file_name.size() <= 20 && config.results_file_name.size() <= 20,
             "a file name beyond its 20 columns");
  FUZZ_CHECK(!has_outer_blank(config.data_file_name) && !has_outer_blank(config.results_file_name),
             "file name not trimmed");

  const auto sizes = ecflux::input::derive_block_sizes(config);
  if (!sizes.ok()) {
    const auto* refusal = sizes.failure().refusal();
    FUZZ_CHECK(refusal != nullptr, "a failure of a file while deriving sizes");
    const std::string& message = refusal->message;
    FUZZ_CHECK(!message.empty() && message.rfind("ecflux", 0) != 0,
               "refusal empty or with a program's name: %s", message.c_str());
    FUZZ_CHECK(message.find('\n') == std::string::npos, "refusal of several lines: %s",
               message.c_str());
    return 0;
  }
  const auto& block = sizes.value();
  FUZZ_CHECK(config.sample_rate > 0.0, "a block at rate %g", config.sample_rate);
  FUZZ_CHECK(block.block_samples >= 2, "a block of %d samples", block.block_samples);
  FUZZ_CHECK(block.window_samples >= 1 && block.window_samples <= block.block_samples,
             "a window of %d samples in a block of %d", block.window_samples, block.block_samples);
  return 0;
}
