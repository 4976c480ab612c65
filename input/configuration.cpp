#include "input/configuration.h"

#include <cmath>
#include <limits>
#include <vector>

#include "base/file_paths.h"
#include "textio/layout.h"
#include "textio/shortest_text.h"

namespace ecflux::input {
namespace {

using textio::shortest_text;

// The lines that carry the two file names and the seven numbers, each from
// column 24 on; everything else in the file is free text.
constexpr std::string_view configuration_layout =
    "28/ 23X,A20 /// 23X,A20 / 23X,F8.0 / 23X,F8.0 / 23X,F8.0 / 23X,I8 / "
    "23X,I1 / 23X,I1 / 23X,I4";

std::string trim_blanks(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(' ');
  return std::string(text.substr(first, last - first + 1));
}

constexpr double int32_limit = std::numeric_limits<std::int32_t>::max();

// The line that helps find why the configuration could not be read: the field
// that is not a number, or how many lines the file has.
std::string hint_for(const base::Failure& failure, const textio::LineReader& file,
                     const std::vector<textio::FieldPlace>& places) {
  const base::IoFailure* io = failure.io_failure();
  if (io == nullptr) return {};
  if (io->condition == base::IoCondition::conversion_error && !places.empty()) {
    const textio::FieldPlace& place = places.back();
    const std::size_t last_column = place.first_column + static_cast<std::size_t>(place.width) - 1;
    return "line " + std::to_string(place.line) + ", columns " +
           std::to_string(place.first_column) + "-" + std::to_string(last_column) + " (" +
           std::string(configuration_fields[places.size() - 1]) + "): \"" + place.text +
           "\" is not a number";
  }
  if (io->condition == base::IoCondition::end_of_file) {
    const std::string needed = "the configuration needs " + std::to_string(configuration_lines) +
                               " lines (see the README's template)";
    if (file.line_number() == 0) return "the file is empty; " + needed;
    return "line " + std::to_string(file.line_number()) + " is the last; " + needed;
  }
  return {};
}

}  // namespace

base::Result<Configuration> read_configuration(std::vector<textio::FieldPlace>* places) {
  auto file = textio::LineReader::open(configuration_file_name, configuration_unit);
  if (!file.ok()) {
    base::Failure failure = std::move(file.failure());
    const base::IoFailure* io = failure.io_failure();
    if (io != nullptr && io->condition == base::IoCondition::file_not_found) {
      failure.hint = "no " + std::string(configuration_file_name) + " in " +
                     base::working_folder() +
                     "; see the README's template (a complete one is examples/" +
                     std::string(configuration_file_name) + ")";
    }
    return failure;
  }
  return read_configuration(file.value(), places);
}

base::Result<Configuration> read_configuration(textio::LineReader& file,
                                               std::vector<textio::FieldPlace>* places) {
  static const textio::Layout layout = *textio::parse_layout(configuration_layout);
  std::vector<textio::FieldValue> values;
  std::vector<textio::FieldPlace> own_places;
  if (places == nullptr) places = &own_places;
  if (auto read = textio::read_records(file, layout, values, places); !read.ok()) {
    base::Failure failure = std::move(read.failure());
    failure.hint = hint_for(failure, file, *places);
    return failure;
  }

  Configuration config;
  config.data_file_name = trim_blanks(values[0].text);
  config.results_file_name = trim_blanks(values[1].text);
  config.sample_rate = values[2].real;
  config.start_time = values[3].real;
  config.end_time = values[4].real;
  // I8, I1 and I4 fields cannot hold a value beyond 32 bits.
  config.block_seconds = static_cast<std::int32_t>(values[5].integer);
  config.temperature_select = static_cast<std::int32_t>(values[6].integer);
  config.w_select = static_cast<std::int32_t>(values[7].integer);
  config.window_seconds = static_cast<std::int32_t>(values[8].integer);
  if (config.window_seconds > config.block_seconds) config.window_seconds = config.block_seconds;
  return config;
}

namespace {

std::string quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

std::string columns_of(const textio::FieldPlace& place) {
  const std::size_t last = place.first_column + static_cast<std::size_t>(place.width) - 1;
  return place.width == 1
             ? "column " + std::to_string(place.first_column)
             : "columns " + std::to_string(place.first_column) + "-" + std::to_string(last);
}

bool blank(std::string_view text) { return text.find_first_not_of(" \t") == std::string::npos; }

// The indices of the fields in `places`, in the order of the file.
constexpr auto data_file = static_cast<std::size_t>(ConfigurationField::data_file_name);
constexpr auto results_file = static_cast<std::size_t>(ConfigurationField::results_file_name);
constexpr auto first_number = static_cast<std::size_t>(ConfigurationField::sample_rate);
constexpr auto temperature_flag = static_cast<std::size_t>(ConfigurationField::temperature_select);
constexpr auto w_flag = static_cast<std::size_t>(ConfigurationField::w_select);

}  // namespace

std::vector<base::Warning> configuration_findings(const std::vector<textio::FieldPlace>& places) {
  std::vector<base::Warning> findings;
  const std::string path = base::absolute_path(configuration_file_name);
  const auto add = [&](const textio::FieldPlace& place, std::string text) {
    findings.push_back({base::WarningKind::configuration_text, path, place.line, 1,
                        "line " + std::to_string(place.line) + " of the configuration " + path +
                            ": " + std::move(text)});
  };
  for (std::size_t i = 0; i < places.size() && i < configuration_fields.size(); ++i) {
    const textio::FieldPlace& place = places[i];
    const std::string field(configuration_fields[i]);
    const std::size_t last = place.first_column + static_cast<std::size_t>(place.width) - 1;
    if (place.before.find('\t') != std::string::npos) {
      add(place, "a tab before column " + std::to_string(place.first_column) +
                     " counts as one column, so the " + field + " is read from " +
                     columns_of(place) + " as " + quoted(place.text) +
                     "; use blanks to reach column " + std::to_string(place.first_column));
    }
    if (i >= first_number && !blank(place.rest)) {
      add(place, quoted(place.rest) + " after column " + std::to_string(last) + " is not read (" +
                     field + "); is a value typed too far to the right?");
    }
    if (i == temperature_flag || i == w_flag) {
      const bool is_temperature = i == temperature_flag;
      const int second = is_temperature ? temperature_column(0) : w_column(0);
      if (blank(place.text)) {
        add(place, "column " + std::to_string(place.first_column) + " (" + field +
                       ") is blank, which chooses data column " + std::to_string(second) +
                       "; write 0 or 1 there");
      } else if (place.text != "0" && place.text != "1") {
        add(place, "column " + std::to_string(place.first_column) + " (" + field + ") holds " +
                       quoted(place.text) + ", which chooses data column " +
                       std::to_string(second) + " as 0 does; write 0 or 1 there");
      }
    }
    if ((i == data_file || i == results_file) && !place.rest.empty() && place.rest[0] != ' ') {
      add(place, "the " + field + " goes on after column " + std::to_string(last) +
                     ", where its field of " + std::to_string(place.width) +
                     " columns ends; the name is cut there to " + quoted(place.text));
    }
  }
  return findings;
}

std::int64_t configuration_line(ConfigurationField field) {
  static const std::vector<std::int64_t> lines = [] {
    std::vector<std::int64_t> found;
    std::int64_t line = 1;
    const textio::Layout layout = *textio::parse_layout(configuration_layout);
    for (const textio::LayoutItem& item : layout.items) {
      if (item.kind == textio::ItemKind::next_record) line += item.width;
      const bool data = item.kind == textio::ItemKind::real ||
                        item.kind == textio::ItemKind::integer ||
                        item.kind == textio::ItemKind::text;
      if (data) found.push_back(line);
    }
    return found;
  }();
  return lines[static_cast<std::size_t>(field)];
}

namespace {

// "line 33", or "lines 33 and 36", of the configuration file.
std::string lines_of(std::initializer_list<ConfigurationField> fields) {
  std::string text = fields.size() == 1 ? "line " : "lines ";
  std::size_t i = 0;
  for (const ConfigurationField field : fields) {
    if (i++ > 0) text += " and ";
    text += std::to_string(configuration_line(field));
  }
  return text + " of " + std::string(configuration_file_name);
}

}  // namespace

base::Result<BlockSizes> derive_block_sizes(const Configuration& config) {
  const std::string fs_text = shortest_text(config.sample_rate);
  if (!(config.sample_rate > 0.0)) {
    return base::Refusal{"sample_rate " + fs_text + " in " +
                         lines_of({ConfigurationField::sample_rate}) +
                         " must be greater than zero"};
  }

  // Both counts are formed in double precision first, where they cannot
  // overflow, and compared with the 32-bit range before conversion. The whole
  // rate times the whole seconds is exact in double for every count in range.
  const double whole_rate = std::trunc(config.sample_rate);
  const double block_count = whole_rate * static_cast<double>(config.block_seconds);
  const std::string block_text =
      "a block of " + shortest_text(block_count) + " samples (whole sample_rate " +
      shortest_text(whole_rate) + " times block_seconds " + std::to_string(config.block_seconds) +
      ", " + lines_of({ConfigurationField::sample_rate, ConfigurationField::block_seconds}) + ")";
  if (block_count > int32_limit) {
    return base::Refusal{block_text + " does not fit a 32-bit sample count"};
  }
  if (block_count < 2.0) {
    return base::Refusal{block_text + " holds fewer than two samples"};
  }

  const double window_count =
      std::trunc(static_cast<double>(config.window_seconds) * config.sample_rate);
  const std::string window_text =
      "a running-mean window of " + shortest_text(window_count) + " samples (window_seconds " +
      std::to_string(config.window_seconds) + " times sample_rate " + fs_text + ", " +
      lines_of({ConfigurationField::window_seconds, ConfigurationField::sample_rate}) + ")";
  if (window_count > int32_limit) {
    return base::Refusal{window_text + " does not fit a 32-bit sample count"};
  }
  if (window_count < 1.0) {
    return base::Refusal{window_text + " holds less than one sample"};
  }

  const auto block_samples = static_cast<std::int32_t>(block_count);
  auto window_samples = static_cast<std::int32_t>(window_count);
  // A fractional rate can make the window longer than the block; the running
  // mean is defined for windows up to the whole block.
  if (window_samples > block_samples) window_samples = block_samples;
  return BlockSizes{block_samples, window_samples, config.sample_rate};
}

}  // namespace ecflux::input
