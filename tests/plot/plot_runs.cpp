#include "tests/plot/plot_runs.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace ecflux::testing {

const std::filesystem::path chromium = "/usr/bin/chromium";

namespace {

void finish_run(const TempFolder& folder, const std::vector<std::string>& arguments) {
  ProcessOptions options;
  options.arguments = arguments;
  const auto run = run_program(ECFLUX_PROGRAM, folder.path(), options);
  ASSERT_EQ(run.exit_status, 0) << run.standard_error;
}

void finish_run(const TempFolder& folder, bool csv) {
  finish_run(folder, csv ? std::vector<std::string>{"--csv"} : std::vector<std::string>{});
}

}  // namespace

void finish_example_run_with(const TempFolder& folder, const std::vector<std::string>& arguments) {
  const std::filesystem::path examples = EXAMPLES_FOLDER;
  std::filesystem::copy_file(examples / "ConfigDRAVEK.Dat", folder / "ConfigDRAVEK.Dat");
  std::filesystem::copy_file(examples / "example.dat", folder / "example.dat");
  finish_run(folder, arguments);
}

void finish_expected_run(const TempFolder& folder, const std::string& record,
                         const std::vector<std::string>& arguments) {
  const auto input = std::filesystem::path(EXPECTED_FOLDER) / record / "input";
  for (const auto& entry : std::filesystem::directory_iterator(input))
    std::filesystem::copy_file(entry.path(), folder.path() / entry.path().filename());
  finish_run(folder, arguments);
}

plot::RunRecordFacts run_record(const TempFolder& folder) {
  auto facts = plot::parse_run_record(folder.read("run.json"));
  EXPECT_TRUE(facts.ok());
  return facts.ok() ? facts.value() : plot::RunRecordFacts{};
}

std::function<double(double)> minutes_since_first_sample(const TempFolder& folder) {
  const plot::RunRecordFacts record = run_record(folder);
  const double unit = record.data.time_unit == "hours"     ? 3600.0
                      : record.data.time_unit == "minutes" ? 60.0
                      : record.data.time_unit == "days"    ? 86400.0
                                                           : 1.0;
  const double first = record.data.first_time.value_or(0.0);
  return [=](double time) { return (time - first) * unit / 60.0; };
}

void finish_example_run(const TempFolder& folder, const char* end_time, bool csv) {
  const std::filesystem::path examples = EXAMPLES_FOLDER;
  std::string config = read_file(examples / "ConfigDRAVEK.Dat");
  if (end_time != nullptr) {
    std::size_t line_start = 0;
    for (int line = 1; line < 35; ++line) line_start = config.find('\n', line_start) + 1;
    const auto line_end = config.find_first_of("\r\n", line_start);
    config.replace(line_start + 23, line_end - line_start - 23, end_time);
  }
  folder.write("ConfigDRAVEK.Dat", config);
  std::filesystem::copy_file(examples / "example.dat", folder / "example.dat");
  finish_run(folder, csv);
}

ConfigurationText example_configuration() {
  ConfigurationText config;
  config.data_file = "example.dat";
  config.block_seconds = "60";
  config.window_seconds = "30";
  return config;
}

void finish_example_run(const TempFolder& folder, const ConfigurationText& config) {
  write_run(folder, config, read_file(std::filesystem::path(EXAMPLES_FOLDER) / "example.dat"));
  finish_run(folder, false);
}

void finish_seconds_of_day_run(const TempFolder& folder, int rate, int seconds, int block,
                               bool csv) {
  ProcessOptions options;
  options.arguments = {(folder / "record.dat").string(),
                       "--rate",
                       std::to_string(rate),
                       "--seconds",
                       std::to_string(seconds),
                       "--start",
                       "80000",
                       "--config",
                       (folder / "ConfigDRAVEK.Dat").string(),
                       "--block",
                       std::to_string(block),
                       "--window",
                       std::to_string(block / 6)};
  const auto made = run_program(MAKE_RECORD_PROGRAM, folder.path(), options);
  ASSERT_EQ(made.exit_status, 0) << made.standard_error;
  finish_run(folder, csv);
}

ProcessResult run_plot(const TempFolder& folder) {
  return run_program(ECFLUX_PLOT_PROGRAM, folder.path());
}

std::vector<std::vector<std::string>> columns(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  for (const auto& record : split_records(text)) {
    std::vector<std::string> fields;
    std::size_t at = 0;
    while ((at = record.find_first_not_of(' ', at)) != std::string::npos) {
      const auto end = record.find(' ', at);
      fields.push_back(record.substr(at, end == std::string::npos ? std::string::npos : end - at));
      at = end;
    }
    rows.push_back(fields);
  }
  return rows;
}

bool have_chromium() { return std::filesystem::exists(chromium); }

bool run_chromium(const TempFolder& folder, const std::filesystem::path& page,
                  const std::string& arguments, const std::filesystem::path& output) {
  static int runs = 0;
  const auto profile = folder / ("chromium-profile-" + std::to_string(++runs));
  std::filesystem::create_directory(profile);
  const std::string command =
      "timeout 120 " + chromium.string() +
      " --headless --no-sandbox --disable-gpu --disable-quic --no-first-run"
      " --disable-background-networking --disable-component-update --disable-sync"
      " --user-data-dir='" +
      profile.string() + "' " + arguments + " 'file://" + page.string() + "' >" +
      (output.empty() ? std::string("/dev/null") : "'" + output.string() + "'") + " 2>/dev/null";
  return std::system(command.c_str()) == 0;
}

ImageSize png_size(const std::string& image) {
  if (image.size() < 24 || image.substr(1, 3) != "PNG") return {};
  const auto big_endian = [&](std::size_t at) {
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(image[at])) << 24) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(image[at + 1])) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(image[at + 2])) << 8) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(image[at + 3]));
  };
  return {big_endian(16), big_endian(20)};
}

}  // namespace ecflux::testing
