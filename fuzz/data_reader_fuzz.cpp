// The free-form record reader and the block reader on arbitrary bytes. The
// first bytes choose the statement length and the block settings; the rest
// is the file. Checked:
// - reading always ends, with every value read a finite number;
// - with one value per statement, that value is the first item of its record
//   read by an independent reference of the number syntax;
// - a bad value is reported on a line that exists;
// - every complete block holds finite samples and counts N of them.

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "fuzz/number_reference.h"
#include "input/block_reader.h"
#include "textio/line_reader.h"
#include "textio/list_reader.h"

namespace {

using ecflux::textio::LineReader;
using ecflux::textio::ListReader;

constexpr double untouched = 4242.0;

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The records of the text as the line reader gives them: split at line
// feeds, a carriage return before the line feed dropped.
std::vector<std::string_view> records_of(std::string_view text) {
  std::vector<std::string_view> records;
  while (!text.empty()) {
    const std::size_t feed = text.find('\n');
    std::string_view record = text.substr(0, feed);
    if (feed != std::string_view::npos && !record.empty() && record.back() == '\r') {
      record.remove_suffix(1);
    }
    records.push_back(record);
    if (feed == std::string_view::npos) break;
    text.remove_prefix(feed + 1);
  }
  return records;
}

bool separates(char c) { return c == ' ' || c == '\t' || c == ',' || c == '/'; }

// What a one-value statement reads from its record, when the record decides
// it alone: the first item, unless it is a repeat (r*...), which the
// reference leaves to the invariants.
enum class Expected { value, unchanged, bad, undecided };

Expected first_item(std::string_view record, double& value) {
  std::size_t i = 0;
  while (i < record.size() && (record[i] == ' ' || record[i] == '\t')) ++i;
  if (i == record.size()) return Expected::undecided;  // a blank record: the next one decides
  if (record[i] == ',' || record[i] == '/') return Expected::unchanged;
  std::size_t end = i;
  while (end < record.size() && !separates(record[end])) ++end;
  const std::string_view token = record.substr(i, end - i);
  if (token.find('*') != std::string_view::npos) return Expected::undecided;
  if (const auto number = ecflux::fuzz::reference_number(token)) {
    value = *number;
    return Expected::value;
  }
  return Expected::bad;
}

void check_one_value_statements(std::string_view text) {
  const auto records = records_of(text);
  ListReader reader(LineReader::from_text(text, 8, "/fuzz/data"));
  std::size_t statements = 0;
  for (;;) {
    double value = untouched;
    const auto read = reader.read(std::span(&value, 1));
    const auto line = reader.lines().line_number();
    FUZZ_CHECK(read.ok(), "a read error from memory");
    const ListReader::Outcome status = read.value();
    if (status == ListReader::Outcome::end_of_file) return;
    FUZZ_CHECK(line >= 1 && static_cast<std::size_t>(line) <= records.size(), "line %lld of %zu",
               static_cast<long long>(line), records.size());
    const std::string_view record = records[static_cast<std::size_t>(line - 1)];
    double expected_value = 0.0;
    const Expected expected = first_item(record, expected_value);
    if (status == ListReader::Outcome::bad_value) {
      FUZZ_CHECK(reader.bad_value_line() == line, "bad value on line %lld, reader at %lld",
                 static_cast<long long>(reader.bad_value_line()), static_cast<long long>(line));
      FUZZ_CHECK(expected == Expected::bad || expected == Expected::undecided,
                 "record '%.*s' refused", static_cast<int>(record.size()), record.data());
      return;
    }
    FUZZ_CHECK(std::isfinite(value), "a value that is not finite from '%.*s'",
               static_cast<int>(record.size()), record.data());
    if (expected == Expected::value) {
      FUZZ_CHECK(same_bits(value, expected_value), "record '%.*s' read as %a, not %a",
                 static_cast<int>(record.size()), record.data(), value, expected_value);
    } else if (expected == Expected::unchanged) {
      FUZZ_CHECK(same_bits(value, untouched), "record '%.*s' gave %a to a null value",
                 static_cast<int>(record.size()), record.data(), value);
    } else {
      FUZZ_CHECK(expected == Expected::undecided, "record '%.*s' read, should be refused",
                 static_cast<int>(record.size()), record.data());
    }
    FUZZ_CHECK(++statements <= records.size(), "more statements than records");
  }
}

void check_statements(std::string_view text, std::size_t length) {
  const std::size_t records = records_of(text).size();
  ListReader reader(LineReader::from_text(text, 8, "/fuzz/data"));
  std::vector<double> values(length, untouched);
  for (std::size_t statements = 0;; ++statements) {
    const auto read = reader.read(values);
    FUZZ_CHECK(read.ok(), "a read error from memory");
    const ListReader::Outcome status = read.value();
    if (status == ListReader::Outcome::bad_value) {
      const auto line = reader.bad_value_line();
      FUZZ_CHECK(line >= 1 && static_cast<std::size_t>(line) <= records, "bad value on line %lld",
                 static_cast<long long>(line));
      return;
    }
    if (status == ListReader::Outcome::end_of_file) return;
    for (const double v : values) FUZZ_CHECK(std::isfinite(v), "a value that is not finite");
    // Every statement takes at least one record of its own.
    FUZZ_CHECK(statements < records, "statement %zu of %zu records", statements, records);
  }
}

void check_blocks(std::string_view text, const ecflux::input::ReadSettings& settings) {
  ecflux::input::DataFile file{ListReader(LineReader::from_text(text, 8, "/fuzz/data")), {}, {}};
  const auto header = file.list.read({});
  if (!header.ok() || header.value() != ListReader::Outcome::complete) return;  // no header
  ecflux::input::Block block = ecflux::input::make_block(settings.block_samples);
  const std::size_t records = records_of(text).size();
  for (std::size_t blocks = 0;; ++blocks) {
    const auto read = ecflux::input::read_block(file, settings, block);
    using ecflux::input::BlockStatus;
    FUZZ_CHECK(read.ok(), "a read error from memory");
    const ecflux::input::BlockOutcome& outcome = read.value();
    if (outcome.status == BlockStatus::unreadable_record) {
      FUZZ_CHECK(outcome.line >= 2 && static_cast<std::size_t>(outcome.line) <= records,
                 "unreadable record on line %lld", static_cast<long long>(outcome.line));
    }
    if (outcome.status != BlockStatus::complete) return;
    FUZZ_CHECK(block.sample_count == settings.block_samples, "a complete block of %lld samples",
               static_cast<long long>(block.sample_count));
    for (std::int32_t k = 0; k < settings.block_samples; ++k) {
      const auto i = static_cast<std::size_t>(k);
      FUZZ_CHECK(std::isfinite(block.sample_time[i]) && std::isfinite(block.temperature[i]) &&
                     std::isfinite(block.w[i]) && !std::isnan(block.horizontal_speed[i]),
                 "sample %d of a block is not finite", k);
      if (settings.end_time > 0.0) {
        FUZZ_CHECK(block.sample_time[i] <= settings.end_time, "a sample after the end time");
      }
      if (settings.start_time > 0.0) {
        FUZZ_CHECK(block.sample_time[i] >= settings.start_time, "a sample before the start time");
      }
    }
    FUZZ_CHECK(blocks < records, "more blocks than records");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider provider(data, size);
  const auto length = provider.ConsumeIntegralInRange<std::size_t>(0, 9);
  ecflux::input::ReadSettings settings;
  settings.block_samples = provider.ConsumeIntegralInRange<std::int32_t>(1, 40);
  settings.start_time = provider.ConsumeIntegralInRange<int>(-1, 20);
  settings.end_time = provider.ConsumeIntegralInRange<int>(-1, 60);
  settings.w_select = provider.ConsumeIntegralInRange<std::int32_t>(0, 2);
  settings.temperature_select = provider.ConsumeIntegralInRange<std::int32_t>(0, 2);
  const std::string text = provider.ConsumeRemainingBytesAsString();

  check_one_value_statements(text);
  check_statements(text, length);
  check_blocks(text, settings);
  return 0;
}
