#include "input/data_warnings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <utility>

namespace ecflux::input {
namespace {

// Numbers as a person writes them: the shortest form that %g gives.
std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

std::string plural(std::int64_t count, const char* one, const char* many) {
  return with_thousands(count) + " " + (count == 1 ? one : many);
}

}  // namespace

std::string with_thousands(std::int64_t value) {
  const std::string digits = std::to_string(value < 0 ? -value : value);
  std::string text = value < 0 ? "-" : "";
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
    text += digits[i];
  }
  return text;
}

DataWarnings::DataWarnings(std::string data_path, const ReadSettings& settings)
    : path_(std::move(data_path)), settings_(settings) {}

std::string DataWarnings::source() const {
  return path_.empty() ? "the arrays" : "the data file " + path_;
}

std::string DataWarnings::record(std::int64_t line) const {
  return (path_.empty() ? "sample " : "line ") + std::to_string(line);
}

std::string_view DataWarnings::holds() const { return path_.empty() ? "hold" : "holds"; }

base::Warning DataWarnings::warning(base::WarningKind kind, std::int64_t line, std::int64_t count,
                                    std::string text) const {
  return {kind, path_, line, count, std::move(text)};
}

std::string_view DataWarnings::time_unit() const {
  return sample_interval_ > 0.0 ? time_units[time_unit_].name : std::string_view();
}

double DataWarnings::seconds_per_time_unit() const { return time_units[time_unit_].seconds; }

std::optional<std::size_t> nearest_time_unit(std::vector<double> steps, double rate) {
  if (steps.empty()) return {};
  const auto middle = steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2);
  std::nth_element(steps.begin(), middle, steps.end());
  const double median = *middle;
  if (!(median > 0.0)) return {};
  std::optional<std::size_t> nearest;
  double best = 2.0;  // the largest ratio still taken, in either direction
  for (std::size_t u = 0; u < std::size(time_units); ++u) {
    const double expected = 1.0 / (rate * time_units[u].seconds);
    const double ratio = std::max(median / expected, expected / median);
    if (ratio <= best) {
      best = ratio;
      nearest = u;
    }
  }
  return nearest;
}

// Times may be in any unit (seconds, or hours since the start of the
// deployment): the unit whose 1/fs is nearest the block's median step is
// taken, seconds when none is within a factor of two. A step next to a
// missing time (not a number) tells nothing, and would leave the median to
// chance; a block without any other step leaves the judgement to the next.
void DataWarnings::judge_time_unit(const Block& block, std::int64_t samples) {
  if (sample_interval_ > 0.0 || samples < 2) return;
  std::vector<double> steps;
  for (std::size_t k = 1; k < static_cast<std::size_t>(samples); ++k) {
    const double step = block.sample_time[k] - block.sample_time[k - 1];
    if (!std::isnan(step)) steps.push_back(step);
  }
  if (steps.empty()) return;
  time_unit_ = nearest_time_unit(std::move(steps), settings_.sample_rate).value_or(0);
  sample_interval_ = 1.0 / (settings_.sample_rate * time_units[time_unit_].seconds);
}

namespace {

// Adds the occurrences of `now` to `total`, which keeps its first.
void merge(BlockChecks::First& total, const BlockChecks::First& now) {
  if (now.count == 0) return;
  if (total.count == 0) {
    total = now;
  } else {
    total.count += now.count;
  }
}

void merge(BlockChecks& total, const BlockChecks& now, bool with_times) {
  merge(total.unread, now.unread);
  merge(total.implausible, now.implausible);
  if (with_times) merge(total.wide_time, now.wide_time);
}

}  // namespace

BlockFindings DataWarnings::add_block(const Block& block, std::int64_t samples, std::int64_t index,
                                      bool complete, std::vector<base::Warning>& found) {
  judge_time_unit(block, samples);
  const BlockChecks& checks = block.checks;
  // A step further than half a sample interval from 1/fs is a gap, a
  // repeated or a backward time.
  BlockChecks::First uneven;
  double largest_step = 0.0;
  for (std::size_t k = 1; k < static_cast<std::size_t>(samples); ++k) {
    const double step = block.sample_time[k] - block.sample_time[k - 1];
    largest_step = std::max(largest_step, std::fabs(step));
    if (sample_interval_ > 0.0 && std::fabs(step - sample_interval_) > 0.5 * sample_interval_) {
      uneven.add(block.sample_line[k], step);
    }
  }
  const std::string file = source();
  const auto first = [](const BlockChecks::First& total, const BlockChecks::First& now) {
    return total.count == 0 && now.count > 0;
  };
  using base::WarningKind;

  if (first(seen_.unread, checks.unread)) {
    const auto& at = checks.unread;
    found.push_back(warning(
        WarningKind::values_unread, at.line, 1,
        at.continued
            ? record(at.line) + " of " + file +
                  " finishes a record begun on a line before it and holds values after it "
                  "that are not used (a column missing, or a comma at the end of the line "
                  "before?); the records are read as the format says"
            : record(at.line) + " of " + file +
                  " holds more than seven values; the values after the seventh are not used "
                  "(columns of date and time before the seven?)"));
  }
  if (first(seen_uneven_, uneven)) {
    found.push_back(warning(
        WarningKind::uneven_sampling, uneven.line, 1,
        "block " + std::to_string(index) + " of " + file + " is not evenly sampled: the time on " +
            record(uneven.line) + " is " + number(uneven.value) +
            " after the sample before it, where a sample interval, 1/fs, " + "is " +
            number(sample_interval_) + " (times taken to be in " + std::string(time_unit()) +
            "): a gap, a repeated or a backward time; the block is " + "used as it is"));
  }
  if (first(seen_.implausible, checks.implausible)) {
    const auto& at = checks.implausible;
    const bool temperature = at.column >= 6;
    found.push_back(
        warning(WarningKind::implausible_value, at.line, 1,
                record(at.line) + " of " + file + " holds " +
                    (temperature ? "a temperature of " + number(at.value) + " °C in column " +
                                       std::to_string(at.column) + ", outside " +
                                       number(lowest_plausible_temperature) + " to " +
                                       number(highest_plausible_temperature) + " °C"
                                 : "a velocity of " + number(at.value) + " cm/s in column " +
                                       std::to_string(at.column) + ", beyond ±" +
                                       number(largest_plausible_velocity) + " cm/s") +
                    " (a fill value?); it is used as it is"));
  }
  if (complete && first(seen_.wide_time, checks.wide_time)) {
    const auto& at = checks.wide_time;
    found.push_back(warning(
        WarningKind::wide_time, at.line, 1,
        record(at.line) + " of " + file + " has the time " + number(at.value) +
            ", which cumflux.out and CFSHIFT.out cannot hold: they write times of " +
            number(largest_sample_time) + " or more, and of " + number(smallest_sample_time) +
            " or less, as asterisks; give times relative to the start of the deployment (in "
            "hours or days) to keep them"));
  }

  merge(seen_, checks, complete);
  merge(seen_uneven_, uneven);
  if (complete) {
    merge(totals_, checks, true);
    merge(uneven_, uneven);
    if (uneven.count > 0) ++uneven_blocks_;
  } else {
    merge(dropped_, checks, false);
    merge(dropped_uneven_, uneven);
    dropped_samples_ += samples;
  }
  return {uneven.count, checks.implausible.count, checks.unread.count, largest_step};
}

base::Warning DataWarnings::unreadable_value(std::int64_t line) const {
  return warning(base::WarningKind::unreadable_value, line, 1,
                 record(line) + " of " + source() +
                     " holds a value that is not a number; the input ends there and the block "
                     "in progress is dropped");
}

std::vector<base::Warning> DataWarnings::finish() const {
  using base::WarningKind;
  std::vector<base::Warning> found;
  const std::string file = " of " + source();
  if (totals_.unread.count > 1) {
    found.push_back(warning(WarningKind::values_unread, totals_.unread.line, totals_.unread.count,
                            "in all, " + plural(totals_.unread.count, "line", "lines") + file +
                                " hold values that are not used"));
  }
  if (uneven_.count > 1) {
    found.push_back(warning(WarningKind::uneven_sampling, uneven_.line, uneven_.count,
                            "in all, " + plural(uneven_.count, "time step", "time steps") + " in " +
                                plural(uneven_blocks_, "block", "blocks") + file +
                                " are further than half a sample interval from 1/fs"));
  }
  if (totals_.implausible.count > 1) {
    found.push_back(warning(WarningKind::implausible_value, totals_.implausible.line,
                            totals_.implausible.count,
                            "in all, " + plural(totals_.implausible.count, "record", "records") +
                                file + " hold implausible values"));
  }
  if (totals_.wide_time.count > 1) {
    found.push_back(warning(WarningKind::wide_time, totals_.wide_time.line, totals_.wide_time.count,
                            "in all, " + plural(totals_.wide_time.count, "time", "times") + file +
                                " are written as asterisks in cumflux.out and CFSHIFT.out"));
  }
  // What the samples after the last complete block held: they are in no
  // block, so in no total above.
  std::vector<std::string> held;
  if (dropped_uneven_.count > 0) {
    held.push_back(plural(dropped_uneven_.count, "time step", "time steps") +
                   " further than half a sample interval from 1/fs");
  }
  if (dropped_.implausible.count > 0) {
    held.push_back(plural(dropped_.implausible.count, "record", "records") +
                   " with implausible values");
  }
  if (dropped_.unread.count > 0) {
    held.push_back(plural(dropped_.unread.count, "line", "lines") + " with values not used");
  }
  if (!held.empty()) {
    std::string list;
    for (std::size_t i = 0; i < held.size(); ++i) {
      list += (i == 0 ? "" : i + 1 == held.size() ? " and " : ", ") + held[i];
    }
    std::int64_t line = 0;
    for (const auto* first : {&dropped_uneven_, &dropped_.implausible, &dropped_.unread}) {
      if (first->count > 0 && (line == 0 || first->line < line)) line = first->line;
    }
    found.push_back(warning(WarningKind::dropped_samples, line, dropped_samples_,
                            "the " + plural(dropped_samples_, "sample", "samples") +
                                " after the last complete block" + file +
                                ", which the run drops, hold " + list));
  }
  return found;
}

std::string DataWarnings::no_block_reason(const ReadCounts& counts, const InputEnd& end) const {
  const std::string start;
  const std::string file = source();
  if (counts.records == 0 && end.status != BlockStatus::past_end_time) {
    return start + file + (path_.empty() ? " hold no sample" : " holds no record after its header");
  }
  if (counts.accepted == 0 && end.status == BlockStatus::past_end_time) {
    return start + "the end time " + number(settings_.end_time) +
           " is before the first record's time " + number(end.ending_time) + " in " + file;
  }
  if (counts.accepted == 0 && counts.skipped > 0) {
    return start + "no record of " + file + " has a time at or after the start time " +
           number(settings_.start_time) + " (the last is " + number(counts.last_record_time) + ")";
  }
  std::string window;
  if (settings_.start_time > 0.0) window += " after the start time";
  if (settings_.end_time > 0.0)
    window += window.empty() ? " up to the end time" : " and up to the end time";
  return start + file + " " + std::string(holds()) + " " +
         plural(end.samples, "sample", "samples") + window + "; a block needs " +
         with_thousands(settings_.block_samples);
}

}  // namespace ecflux::input
