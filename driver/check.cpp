#include "driver/check.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/messages.h"
#include "driver/run_inputs.h"
#include "driver/run_outputs.h"
#include "flux/time_shifts.h"
#include "flux/window_sweep.h"
#include "input/data_warnings.h"
#include "textio/file_paths.h"
#include "textio/folder_lock.h"
#include "textio/printable.h"
#include "textio/shortest_text.h"
#include "textio/standard_streams.h"

namespace ecflux::driver {
namespace {

using input::with_thousands;
using textio::shortest_text;

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

std::string padded(std::string text, std::size_t width) {
  if (text.size() < width) text.resize(width, ' ');
  return text;
}

void print(const std::string& line) {
  std::fputs(textio::printable(line).c_str(), stdout);
  std::fputc('\n', stdout);
}

// The value a field gave, as a person reads it.
std::string value_taken(const input::Configuration& config, std::size_t field) {
  switch (field) {
    case 0: return config.data_file_name;
    case 1: return config.results_file_name;
    case 2: return shortest_text(config.sample_rate) + " samples a second";
    case 3: return config.start_time > 0.0 ? shortest_text(config.start_time) : "none (0 or less)";
    case 4: return config.end_time > 0.0 ? shortest_text(config.end_time) : "none (0 or less)";
    case 5: return std::to_string(config.block_seconds) + " s";
    case 6: return config.temperature_select == 1 ? "1: data column 6" : "data column 7";
    case 7: return config.w_select == 1 ? "1: data column 5" : "data column 4";
    default: return std::to_string(config.window_seconds) + " s";
  }
}

void print_configuration(const RunInputs& inputs) {
  print("Configuration " + textio::absolute_path(input::configuration_file_name) + ", as read:");
  print("  line  columns  field                text in the field       value taken");
  for (std::size_t i = 0; i < inputs.places.size(); ++i) {
    const textio::FieldPlace& place = inputs.places[i];
    const std::size_t last = place.first_column + static_cast<std::size_t>(place.width) - 1;
    const std::string columns = std::to_string(place.first_column) + "-" + std::to_string(last);
    char head[64];
    std::snprintf(head, sizeof head, "  %4lld  %-7s  ", static_cast<long long>(place.line),
                  place.width == 1 ? std::to_string(place.first_column).c_str() : columns.c_str());
    print(head + padded(std::string(input::configuration_fields[i]), 21) +
          padded(quoted(place.text), 24) + value_taken(inputs.config, i));
  }
  // What the text shows that may not be what its writer meant: a value
  // typed too far to the right shows here, as in the run's warnings.
  for (const textio::Warning& finding : input::configuration_findings(inputs.places)) {
    print("  ! " + finding.text);
  }
}

void print_sizes(const RunInputs& inputs) {
  const input::BlockSizes& sizes = inputs.sizes;
  const input::Configuration& config = inputs.config;
  const double fs = sizes.sample_rate;
  const double window = std::trunc(static_cast<double>(config.window_seconds) * fs);
  print("");
  print("Derived sizes:");
  print("  samples per block (N)        " + with_thousands(sizes.block_samples) + " = " +
        shortest_text(std::trunc(fs)) + " (the whole sample rate) x " +
        std::to_string(config.block_seconds) + " s");
  std::string w = "  running-mean window (W)      " + with_thousands(sizes.window_samples) +
                  " samples = trunc(" + std::to_string(config.window_seconds) + " s x " +
                  shortest_text(fs) + ")";
  if (window > sizes.block_samples) w += ", cut to N from " + shortest_text(window);
  print(w);
  print("  window lengths of the sweep  " +
        with_thousands(static_cast<std::int64_t>(flux::window_sequence(sizes).size())));
  const std::int64_t delays = flux::max_shift(fs);
  print("  delays searched              0 to " + with_thousands(delays) + " samples (0 to " +
        shortest_text(static_cast<double>(delays) / fs) + " s)");
}

// Time steps between accepted samples, thinned evenly when there are very
// many, for their median.
class StepSample {
 public:
  void add(double step) {
    if (seen_++ % stride_ != 0) return;
    steps_.push_back(step);
    if (steps_.size() == 2 * capacity) {
      for (std::size_t i = 0; i < capacity; ++i) steps_[i] = steps_[2 * i];
      steps_.resize(capacity);
      stride_ *= 2;
    }
  }

  bool empty() const { return steps_.empty(); }

  double median() {
    const auto middle = steps_.begin() + static_cast<std::ptrdiff_t>(steps_.size() / 2);
    std::nth_element(steps_.begin(), middle, steps_.end());
    return *middle;
  }

 private:
  static constexpr std::size_t capacity = std::size_t{1} << 20;
  std::vector<double> steps_;
  std::uint64_t seen_ = 0;
  std::uint64_t stride_ = 1;
};

std::string how_the_input_ends(const input::InputEnd& end, std::int64_t line,
                               const input::Configuration& config) {
  switch (end.status) {
    case input::BlockStatus::complete:
    case input::BlockStatus::end_of_file: return "at the end of the file";
    case input::BlockStatus::past_end_time:
      return "at line " + std::to_string(line) + ": the time " + shortest_text(end.ending_time) +
             " is after the end time " + shortest_text(config.end_time);
    case input::BlockStatus::unreadable_record:
      return "at line " + std::to_string(line) + ": a value that is not a number";
  }
  return {};
}

}  // namespace

int check_run(const input::CommandLine& line) {
  // While a run writes in the folder, its files are half written and its
  // lock is taken: the check says so instead of reading them.
  auto lock = textio::lock_folder_for_reading("");
  if (!lock.ok()) return report_failure(lock.failure());
  auto opened = open_run_inputs();
  if (!opened.ok()) return report_failure(opened.failure());
  RunInputs& inputs = opened.value();
  const std::string data_path = textio::absolute_path(inputs.config.data_file_name);

  print("ecflux --check: nothing is written; a run in this folder would do this.");
  print("");
  print_configuration(inputs);
  print_sizes(inputs);

  const input::ReadSettings settings = read_settings(inputs, line.quality);
  input::DataWarnings warnings(data_path, settings);
  std::vector<textio::Warning> found;
  StepSample steps;
  bool have_time = false;
  double previous_time = 0.0;
  const auto on_block = [&](input::Block& block, std::int64_t samples, bool,
                            const input::BlockFindings&) -> textio::Status {
    for (std::size_t k = 0; k < static_cast<std::size_t>(samples); ++k) {
      if (have_time) steps.add(block.sample_time[k] - previous_time);
      previous_time = block.sample_time[k];
      have_time = true;
    }
    return {};
  };
  auto read = read_data(inputs, settings, warnings, on_block,
                        [&found](textio::Warning warning) { found.push_back(std::move(warning)); });
  if (!read.ok()) return report_failure(read.failure());
  const DataSummary& summary = read.value();
  const input::ReadCounts& counts = inputs.data.counts;

  print("");
  print("Data " + data_path + ":");
  print("  lines read                   " + with_thousands(inputs.data.list.lines().line_number()));
  std::string records = "  records read                 " + with_thousands(counts.records);
  if (counts.skipped > 0)
    records += ", " + with_thousands(counts.skipped) + " before the start time";
  print(records);
  if (counts.accepted > 0) {
    print("  first and last time          " + shortest_text(counts.first_time) + " and " +
          shortest_text(counts.last_time));
  }
  if (!steps.empty()) {
    char median[64];
    std::snprintf(median, sizeof median, "%.6g (1/fs is %.6g: times taken to be in %s)",
                  steps.median(), warnings.sample_interval(),
                  std::string(warnings.time_unit()).c_str());
    print("  median time step             " + std::string(median));
  }
  print("  complete blocks              " + with_thousands(summary.blocks) + ", and " +
        with_thousands(summary.end.samples) + " samples left over, which a run drops");
  print("  the input ends               " +
        how_the_input_ends(summary.end, summary.end_line, inputs.config));

  print("");
  print(found.empty() ? "Warnings: none." : "Warnings, as a run would give them:");
  for (const textio::Warning& warning : found) print("  ecflux: warning: " + warning.text);

  const std::vector<std::string> leftovers = leftover_staged_files(inputs.config);
  if (!leftovers.empty()) {
    print("");
    print("Left by a run that did not complete (a run removes them before it writes):");
    for (const std::string& path : leftovers) print("  " + path);
  }

  if (auto written = textio::finish_standard_output(); !written.ok()) {
    return report_failure(written.failure());
  }
  // What the run would refuse, or end with, before it replaces anything.
  if (auto writable = check_outputs_can_be_written(inputs.config, line.csv, line.quality.spectra);
      !writable.ok()) {
    return report_failure(writable.failure());
  }
  if (!leftovers.empty()) {
    print_line("ecflux: a run that did not complete left staged files in " +
               textio::working_folder() + "; a run removes them before it writes");
    return 1;
  }
  if (summary.blocks == 0) {
    print_line("ecflux: a run would write no block: " +
               warnings.no_block_reason(counts, summary.end));
    return 1;
  }
  if (line.strict && !found.empty()) {
    print_line("ecflux: --strict: a run would give " +
               with_thousands(static_cast<std::int64_t>(found.size())) +
               (found.size() == 1 ? " warning" : " warnings") + " and replace nothing");
    return 1;
  }
  return 0;
}

}  // namespace ecflux::driver
