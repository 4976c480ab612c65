#include "report/output_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "textio/numbers.h"

namespace ecflux::report {
namespace {

using ecflux::testing::read_file;
using ecflux::testing::split_records;

// The runs stored in tests/expected: each of `ecflux --csv`, with the
// configuration's results file "results.out".
const char* const stored_runs[] = {"example", "currents", "gaps"};
constexpr std::string_view stored_results_name = "results.out";

std::filesystem::path stored_output(std::string_view run) {
  return std::filesystem::path(EXPECTED_FOLDER) / run / "output";
}

// The stored file of a role; standard output is stored as the run printed it.
std::filesystem::path stored_file(std::string_view run, const OutputFileInfo& file) {
  if (file.role == OutputRole::standard_output) return stored_output(run) / "standard-output";
  return stored_output(run) / output_name(file, stored_results_name);
}

// The labels of a header and the column just after each, counted from 0.
std::vector<std::pair<std::string, std::size_t>> labels_of(std::string_view header) {
  std::vector<std::pair<std::string, std::size_t>> labels;
  for (std::size_t at = 0; (at = header.find_first_not_of(' ', at)) != std::string_view::npos;) {
    const std::size_t end = std::min(header.find(' ', at), header.size());
    labels.emplace_back(header.substr(at, end - at), end);
    at = end;
  }
  return labels;
}

// A fixed-column record read field by field and written again in the same
// format; a field of asterisks is written again from a value too large for
// it, and one that is not a number from the value it names.
std::string rewritten(const textio::RecordFormat& format, std::string_view record) {
  std::vector<double> values;
  for (const auto& field : format.fields()) {
    if (field.begin >= record.size()) break;
    std::string_view text = record.substr(field.begin, static_cast<std::size_t>(field.width));
    text.remove_prefix(std::min(text.find_first_not_of(' '), text.size()));
    if (text.find_first_not_of('*') == std::string_view::npos) {
      values.push_back(1e300);
    } else if (text == "NaN") {
      values.push_back(std::numeric_limits<double>::quiet_NaN());
    } else if (text.find("Inf") != std::string_view::npos) {
      const double infinity = std::numeric_limits<double>::infinity();
      values.push_back(text.starts_with('-') ? -infinity : infinity);
    } else {
      const auto value = textio::parse_number(text);
      EXPECT_TRUE(value.has_value()) << "field " << values.size() << " of " << record;
      // "-0.00" was a small negative value, which a negative zero is not.
      const bool small_negative = value == 0.0 && text.starts_with('-');
      values.push_back(small_negative ? -1e-300 : value.value_or(0.0));
    }
  }
  std::string out(format.length(), '#');
  out.resize(static_cast<std::size_t>(format.put(out.data(), values) - out.data()));
  return out;
}

// The full format of a record of the file: its row layout and, for the
// window-flux table, one repeated field per block.
textio::RecordFormat record_format(const OutputFileInfo& file, std::size_t blocks) {
  if (file.repeated_field.empty()) return row_format(file.role);
  const std::string codes = std::string(file.row_layout) + "," + std::to_string(blocks) + "(" +
                            std::string(file.repeated_field) + ")";
  return *textio::RecordFormat::make(codes);
}

TEST(OutputFiles, NamesAndUnitsTellTheFilesApart) {
  std::set<std::string_view> names;
  std::set<int> units;
  for (const OutputFileInfo& file : output_files) {
    if (!file.fixed_name.empty()) {
      EXPECT_TRUE(names.insert(file.fixed_name).second) << file.fixed_name;
    }
    if (file.unit != 0) {
      EXPECT_TRUE(units.insert(file.unit).second) << file.unit;
    }
    EXPECT_EQ(file.written_by == WrittenBy::csv_run || file.written_by == WrittenBy::spectra_run,
              file.fixed_name.ends_with(".csv"))
        << file.fixed_name;
  }
  EXPECT_EQ(output_name(output_file(OutputRole::results), "my results.txt"), "my results.txt");
  EXPECT_EQ(output_name(output_file(OutputRole::cumulative_flux), "r.out"), "cumflux.out");
}

// The files that a stored run wrote are the ones the table names for it.
TEST(OutputFiles, ARunWritesTheFilesOfTheTable) {
  std::set<std::string> named;
  for (const OutputFileInfo& file : output_files) {
    if (written_by_run(file, /*csv=*/true) && file.role != OutputRole::standard_output) {
      named.emplace(output_name(file, stored_results_name));
    }
  }
  for (const char* run : stored_runs) {
    std::set<std::string> written;
    for (const auto& entry : std::filesystem::directory_iterator(stored_output(run))) {
      const std::string name = entry.path().filename().string();
      if (name != "standard-output" && name != "standard-error") written.insert(name);
    }
    EXPECT_EQ(written, named) << run;
  }
}

// Every record of the stored fixed-column files begins with the table's
// header and reads back, field by field, to the same text in the table's
// row layout: the layouts are the ones the files have always had.
TEST(OutputFiles, StoredFilesAreInTheHeadersAndLayoutsOfTheTable) {
  for (const char* run : stored_runs) {
    for (const OutputFileInfo& file : output_files) {
      if (file.row_layout.empty()) continue;
      const std::vector<std::string> records = split_records(read_file(stored_file(run, file)));
      ASSERT_FALSE(records.empty()) << run << " " << file.description;
      std::size_t first_row = 0;
      std::size_t blocks = 0;
      if (!file.header.empty()) {
        first_row = 1;
        EXPECT_TRUE(records[0].starts_with(file.header)) << run << " " << records[0];
        if (!file.repeated_field.empty()) {
          const auto width = static_cast<std::size_t>(block_field().width);
          blocks = (records[0].size() - file.header.size()) / width;
          EXPECT_EQ(records[0].size(), file.header.size() + blocks * width) << run;
        } else {
          EXPECT_EQ(records[0], file.header) << run;
        }
      }
      const textio::RecordFormat format = record_format(file, blocks);
      ASSERT_GT(records.size(), first_row) << run << " " << file.description;
      for (std::size_t i = first_row; i < records.size(); ++i) {
        ASSERT_EQ(records[i].size(), format.length()) << run << " " << file.description << " " << i;
        ASSERT_EQ(rewritten(format, records[i]), records[i]) << run << " " << file.description;
      }
    }
  }
}

// The stored CSV files begin with the table's header, which names every
// column once without anything that would need quoting, and every row has a
// field for each column.
TEST(OutputFiles, StoredCsvFilesHaveTheTablesHeader) {
  for (const char* run : stored_runs) {
    for (const OutputFileInfo& file : output_files) {
      if (file.written_by != WrittenBy::csv_run) continue;
      const std::vector<std::string> records = split_records(read_file(stored_file(run, file)));
      ASSERT_FALSE(records.empty()) << run << " " << file.description;
      EXPECT_EQ(records[0], file.header) << run;
      const std::vector<std::string> names = testing::split_csv_fields(file.header);
      std::vector<std::string> sorted = names;
      std::sort(sorted.begin(), sorted.end());
      EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end()) << file.header;
      for (const auto& name : names) {
        EXPECT_EQ(name.find_first_of(" \"\r\n"), std::string::npos) << name;
      }
      for (std::size_t i = 1; i < records.size(); ++i) {
        ASSERT_EQ(testing::split_csv_fields(records[i]).size(), names.size())
            << run << " " << records[i];
      }
    }
  }
}

// A header label ends in the last column of its field, so that a column of
// numbers stands under its name; the results file's labels keep the offsets
// that its columns give.
TEST(OutputFiles, HeaderLabelsEndWithTheirFields) {
  for (const OutputFileInfo& file : output_files) {
    if (file.header.empty() || file.row_layout.empty()) continue;
    const auto labels = labels_of(file.header);
    const auto fields = row_format(file.role).fields();
    ASSERT_EQ(labels.size(), fields.size()) << file.description;
    for (std::size_t i = 0; i < fields.size(); ++i) {
      const int offset = file.role == OutputRole::results ? results_columns[i].label_offset : 0;
      EXPECT_EQ(labels[i].second,
                fields[i].begin + static_cast<std::size_t>(fields[i].width + offset))
          << file.description << ": " << labels[i].first;
    }
  }
}

}  // namespace
}  // namespace ecflux::report
