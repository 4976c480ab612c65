#include "tests/quality/quality_runs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <sstream>

#include "tools/noise.h"

namespace ecflux::quality_testing {

std::string FieldRecord::text() const {
  std::string text = "time(h) u(cm/s) v(cm/s) w1(cm/s) w2(cm/s) T1(C) T2(C)\n";
  char value[40];
  for (std::size_t i = 0; i < size(); ++i) {
    const double values[7] = {static_cast<double>(i) / sample_rate / 3600.0,
                              u[i],
                              v[i],
                              w[i],
                              w[i],
                              temperature[i],
                              temperature[i]};
    for (int column = 0; column < 7; ++column) {
      if (column > 0) text += ' ';
      const auto word = words.find({i, column});
      if (word != words.end()) {
        text += word->second;
      } else {
        std::snprintf(value, sizeof value, "%.17g", values[column]);
        text += value;
      }
    }
    text += '\n';
  }
  return text;
}

FieldRecord turbulent_field(std::size_t samples, std::size_t block_samples, double sample_rate,
                            std::uint64_t seed, double speed) {
  tools::Noise noise(seed);
  FieldRecord r;
  r.sample_rate = sample_rate;
  const double memory = std::exp(-1.0 / sample_rate);
  const double renewal = std::sqrt(1.0 - memory * memory);
  double eddy = noise.normal(), sway = noise.normal();
  for (std::size_t i = 0; i < samples; ++i) {
    eddy = memory * eddy + renewal * noise.normal();
    sway = memory * sway + renewal * noise.normal();
    r.u.push_back(speed - 3.0 * eddy + 2.0 * noise.normal());
    r.v.push_back(2.5 * sway + 1.0 * noise.normal());
    r.w.push_back(2.0 * eddy + 0.8 * noise.normal());
    r.temperature.push_back(10.0 - 0.004 * eddy + 0.002 * noise.normal());
  }
  for (std::size_t start = 0; start < samples; start += block_samples) {
    const std::size_t end = std::min(samples, start + block_samples);
    for (std::vector<double>* series : {&r.v, &r.w}) {
      double sum = 0.0;
      for (std::size_t i = start; i < end; ++i) sum += (*series)[i];
      const double mean = sum / static_cast<double>(end - start);
      for (std::size_t i = start; i < end; ++i) (*series)[i] -= mean;
    }
  }
  return r;
}

testing::ConfigurationText configuration_for(const FieldRecord& record, int block_seconds,
                                             int window_seconds) {
  testing::ConfigurationText config;
  char rate[32];
  std::snprintf(rate, sizeof rate, "%.1f", record.sample_rate);
  config.sample_rate = rate;
  config.block_seconds = std::to_string(block_seconds);
  config.window_seconds = std::to_string(window_seconds);
  return config;
}

void write_field_run(const testing::TempFolder& folder, const FieldRecord& record,
                     int block_seconds, int window_seconds) {
  testing::write_run(folder, configuration_for(record, block_seconds, window_seconds),
                     record.text());
}

testing::ProcessResult run_ecflux(const std::filesystem::path& folder,
                                  std::vector<std::string> arguments) {
  testing::ProcessOptions options;
  options.arguments = std::move(arguments);
  options.limit = std::chrono::seconds(300);
  return testing::run_program(ECFLUX_PROGRAM, folder, options);
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

namespace {

std::vector<std::string> fields_of(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = line.find(',', start);
    fields.push_back(line.substr(start, comma - start));
    if (comma == std::string::npos) return fields;
    start = comma + 1;
  }
}

}  // namespace

CsvTable::CsvTable(const std::filesystem::path& path) {
  const std::vector<std::string> lines = lines_of(testing::read_file(path));
  if (lines.empty()) {
    ADD_FAILURE() << path << " is empty";
    return;
  }
  names_ = fields_of(lines.front());
  for (std::size_t i = 1; i < lines.size(); ++i) {
    rows_.push_back(fields_of(lines[i]));
    EXPECT_EQ(rows_.back().size(), names_.size()) << path << " line " << i + 1;
    rows_.back().resize(names_.size());
  }
}

bool CsvTable::has(const std::string& name) const {
  return std::find(names_.begin(), names_.end(), name) != names_.end();
}

std::size_t CsvTable::index(const std::string& name) const {
  const auto at = std::find(names_.begin(), names_.end(), name);
  if (at == names_.end()) {
    ADD_FAILURE() << "no column " << name;
    return 0;
  }
  return static_cast<std::size_t>(at - names_.begin());
}

const std::string& CsvTable::text(std::size_t row, const std::string& name) const {
  return rows_.at(row).at(index(name));
}

double CsvTable::number(std::size_t row, const std::string& name) const {
  const std::string& field = text(row, name);
  if (field.empty()) return std::numeric_limits<double>::quiet_NaN();
  return std::strtod(field.c_str(), nullptr);
}

std::vector<double> CsvTable::column(const std::string& name) const {
  std::vector<double> values;
  for (std::size_t row = 0; row < rows_.size(); ++row) values.push_back(number(row, name));
  return values;
}

std::vector<double> numbers_of(const std::string& line) {
  std::vector<double> numbers;
  std::istringstream stream(line);
  for (std::string word; stream >> word;) numbers.push_back(std::strtod(word.c_str(), nullptr));
  return numbers;
}

bool close(double a, double b, double relative) {
  return std::fabs(a - b) <= relative * std::max(std::fabs(a), std::fabs(b));
}

}  // namespace ecflux::quality_testing
