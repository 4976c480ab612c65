#include "driver/check.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "base/file_paths.h"
#include "base/folder_lock.h"
#include "base/printable.h"
#include "base/standard_streams.h"
#include "driver/messages.h"
#include "driver/run_inputs.h"
#include "driver/run_outputs.h"
#include "flux/time_shifts.h"
#include "flux/window_sweep.h"
#include "input/data_warnings.h"
#include "textio/shortest_text.h"

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
  std::fputs(base::printable(line).c_str(), stdout);
  std::fputc('\n', stdout);
}

// A channel flag's choice: "1: data column 6", "data column 7".
std::string channel_taken(std::int32_t flag, int (*column)(std::int32_t)) {
  return (flag == 1 ? "1: data column " : "data column ") + std::to_string(column(flag));
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
    case 6: return channel_taken(config.temperature_select, input::temperature_column);
    case 7: return channel_taken(config.w_select, input::w_column);
    default: return std::to_string(config.window_seconds) + " s";
  }
}

void print_configuration(const CheckReport& report) {
  print("Configuration " + report.configuration_path + ", as read:");
  print("  line  columns  field                text in the field       value taken");
  for (const CheckedField& field : report.fields) {
    const std::string columns =
        field.first_column == field.last_column
            ? std::to_string(field.first_column)
            : std::to_string(field.first_column) + "-" + std::to_string(field.last_column);
    char head[64];
    std::snprintf(head, sizeof head, "  %4lld  %-7s  ", static_cast<long long>(field.line),
                  columns.c_str());
    print(head + padded(field.name, 21) + padded(quoted(field.text), 24) + field.value_taken);
  }
  // What the text shows that may not be what its writer meant: a value
  // typed too far to the right shows here, as in the run's warnings.
  for (const base::Warning& finding : report.configuration_findings) {
    print("  ! " + finding.text);
  }
}

void print_sizes(const CheckReport& report) {
  const input::BlockSizes& sizes = report.sizes;
  const input::Configuration& config = report.configuration;
  const double fs = sizes.sample_rate;
  print("");
  print("Derived sizes:");
  print("  samples per block (N)        " + with_thousands(sizes.block_samples) + " = " +
        shortest_text(std::trunc(fs)) + " (the whole sample rate) x " +
        std::to_string(config.block_seconds) + " s");
  std::string w = "  running-mean window (W)      " + with_thousands(sizes.window_samples) +
                  " samples = trunc(" + std::to_string(config.window_seconds) + " s x " +
                  shortest_text(fs) + ")";
  if (report.window_before_cut > sizes.block_samples) {
    w += ", cut to N from " + shortest_text(report.window_before_cut);
  }
  print(w);
  print("  window lengths of the sweep  " + with_thousands(report.window_lengths));
  print("  delays searched              0 to " + with_thousands(report.largest_delay) +
        " samples (0 to " + shortest_text(static_cast<double>(report.largest_delay) / fs) + " s)");
}

void print_data(const CheckReport& report) {
  print("");
  print("Data " + report.data_path + ":");
  print("  lines read                   " + with_thousands(report.lines_read));
  std::string records = "  records read                 " + with_thousands(report.records_read);
  if (report.records_before_start > 0) {
    records += ", " + with_thousands(report.records_before_start) + " before the start time";
  }
  print(records);
  if (report.first_time) {
    print("  first and last time          " + shortest_text(*report.first_time) + " and " +
          shortest_text(*report.last_time));
  }
  if (report.median_step) {
    char median[64];
    std::snprintf(median, sizeof median, "%.6g (1/fs is %.6g: times taken to be in %s)",
                  *report.median_step, report.sample_interval, report.time_unit.c_str());
    print("  median time step             " + std::string(median));
  }
  print("  complete blocks              " + with_thousands(report.complete_blocks) + ", and " +
        with_thousands(report.samples_left_over) + " samples left over, which a run drops");
  print("  the input ends               " + report.input_end);
  if (report.plane) {
    print("  plane of the mean currents   pitch " + shortest_text(report.plane->pitch) +
          " degrees, roll " + shortest_text(report.plane->roll) + " degrees (--rotate planar)");
  }
}

void print_warnings(const CheckReport& report) {
  print("");
  print(report.warnings.empty() ? "Warnings: none." : "Warnings, as a run would give them:");
  for (const base::Warning& warning : report.warnings) {
    print("  " + warning_line(warning));
  }
  if (!report.leftovers.empty()) {
    print("");
    print("Left by a run that did not complete (a run removes them before it writes):");
    for (const std::string& path : report.leftovers) print("  " + path);
  }
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

base::Result<CheckReport> check_folder(const input::CommandLine& line) {
  // While a run writes in the folder, its files are half written and its
  // lock is taken: the check says so instead of reading them.
  ECFLUX_TRY_VALUE(lock, base::lock_folder_for_reading(""));
  ECFLUX_TRY_VALUE(opened, open_run_inputs());
  RunInputs& inputs = opened;
  const bool planar = line.quality.rotation == input::QualityOptions::Rotation::planar;
  if (planar) {
    ECFLUX_TRY(check_readable_twice(inputs));
  }

  CheckReport report;
  report.configuration_path = base::absolute_path(input::configuration_file_name);
  report.configuration = inputs.config;
  for (std::size_t i = 0; i < inputs.places.size(); ++i) {
    const textio::FieldPlace& place = inputs.places[i];
    report.fields.push_back({std::string(input::configuration_fields[i]), place.line,
                             place.first_column,
                             place.first_column + static_cast<std::size_t>(place.width) - 1,
                             place.text, value_taken(inputs.config, i)});
  }
  report.configuration_findings = input::configuration_findings(inputs.places);
  report.sizes = inputs.sizes;
  report.window_before_cut =
      std::trunc(static_cast<double>(inputs.config.window_seconds) * inputs.sizes.sample_rate);
  report.window_lengths = static_cast<std::int64_t>(flux::window_sequence(inputs.sizes).size());
  report.largest_delay = flux::max_shift(inputs.sizes.sample_rate);
  report.data_path = base::absolute_path(inputs.config.data_file_name);

  const input::ReadSettings settings = read_settings(inputs, line.quality);
  input::DataWarnings warnings(report.data_path, settings);
  StepSample steps;
  bool have_time = false;
  double previous_time = 0.0;
  const qc::QualitySettings controls = quality_settings(line.quality);
  std::vector<qc::MeanVelocity> block_means;
  const auto on_block = [&](input::Block& block, std::int64_t samples, bool complete,
                            const input::BlockFindings&) -> base::Status {
    for (std::size_t k = 0; k < static_cast<std::size_t>(samples); ++k) {
      // A missing time (--missing) gives steps that are not numbers.
      const double step = block.sample_time[k] - previous_time;
      if (have_time && !std::isnan(step)) steps.add(step);
      previous_time = block.sample_time[k];
      have_time = true;
    }
    if (planar && complete) {
      if (const auto mean = block_mean_for_plane(block, samples, controls)) {
        block_means.push_back(*mean);
      }
    }
    return {};
  };
  auto read = read_data(inputs, settings, warnings, on_block, [&report](base::Warning warning) {
    report.warnings.push_back(std::move(warning));
  });
  if (!read.ok()) return std::move(read.failure());
  const DataSummary& summary = read.value();
  const input::ReadCounts& counts = inputs.data.counts;
  report.lines_read = inputs.data.list.lines().line_number();
  report.records_read = counts.records;
  report.records_before_start = counts.skipped;
  if (counts.accepted > 0) {
    report.first_time = counts.first_time;
    report.last_time = counts.last_time;
  }
  if (!steps.empty()) report.median_step = steps.median();
  report.sample_interval = warnings.sample_interval();
  report.time_unit = warnings.time_unit();
  report.complete_blocks = summary.blocks;
  report.samples_left_over = summary.end.samples;
  report.input_end = how_the_input_ends(summary.end, summary.end_line, inputs.config);
  report.leftovers = leftover_staged_files(inputs.config);
  const auto plane =
      planar ? fit_run_plane(block_means, base::absolute_path(inputs.config.data_file_name))
             : base::Result<RunPlane>(RunPlane{});
  if (planar && plane.ok()) {
    report.plane = plane.value().plane;
    if (plane.value().warning) report.warnings.push_back(*plane.value().warning);
  }

  // What the run would refuse, or end with, before it replaces anything.
  if (!plane.ok()) {
    report.verdict = plane.failure();
  } else if (auto writable =
                 check_outputs_can_be_written(inputs.config, line.csv, line.quality.spectra);
             !writable.ok()) {
    report.verdict = std::move(writable.failure());
  } else if (!report.leftovers.empty()) {
    report.verdict =
        base::Refusal{"a run that did not complete left staged files in " + base::working_folder() +
                      "; a run removes them before it writes"};
  } else if (summary.blocks == 0) {
    report.verdict = base::Refusal{"a run would write no block: " +
                                   warnings.no_block_reason(counts, summary.end)};
  } else if (line.strict && !report.warnings.empty()) {
    report.verdict = base::Refusal{
        "--strict: a run would give " +
        with_thousands(static_cast<std::int64_t>(report.warnings.size())) +
        (report.warnings.size() == 1 ? " warning" : " warnings") + " and replace nothing"};
  }
  return report;
}

int check_run(const input::CommandLine& line) {
  auto checked = check_folder(line);
  if (!checked.ok()) return report_failure(checked.failure());
  const CheckReport& report = checked.value();
  print("ecflux --check: nothing is written; a run in this folder would do this.");
  print("");
  print_configuration(report);
  print_sizes(report);
  print_data(report);
  print_warnings(report);
  if (auto written = base::finish_standard_output(); !written.ok()) {
    return report_failure(written.failure());
  }
  if (report.verdict) return report_failure(*report.verdict);
  return 0;
}

}  // namespace ecflux::driver
