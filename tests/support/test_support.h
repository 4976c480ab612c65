#pragma once

// Helpers for tests that work with real files and run the built program.

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace ecflux::testing {

// A fresh folder under the system's temporary folder, removed with all it
// holds when the object goes away.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

  void write(std::string_view name, std::string_view content) const;
  std::string read(std::string_view name) const;
  bool exists(std::string_view name) const;

 private:
  std::filesystem::path path_;
};

std::string read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, std::string_view content);

struct ProcessResult {
  int exit_status = -1;    // -1 when the program did not end normally
  bool timed_out = false;  // killed after the time limit
  std::string standard_output;
  std::string standard_error;
};

// Runs a program with no arguments in `folder`, with standard output and
// standard error captured, and kills it after `limit`. With `processors`
// above zero the program may run on that many processors only.
ProcessResult run_program(const std::string& program, const std::filesystem::path& folder,
                          std::chrono::seconds limit = std::chrono::seconds(120),
                          int processors = 0);

// The records of a text, split at CR LF; a final record without its line end
// is returned as it is.
std::vector<std::string> split_records(std::string_view text);

// A configuration file of 39 lines with each value in its columns.
struct ConfigurationText {
  std::string data_file = "data.txt";
  std::string results_file = "results.out";
  std::string sample_rate = "10.0";
  std::string start_time = "0.0";
  std::string end_time = "0.0";
  std::string block_seconds = "60";
  std::string temperature_select = "0";
  std::string w_select = "0";
  std::string window_seconds = "30";

  std::string text() const;
};

// The files a run creates, in the order it creates them, with the
// configuration's default results file name.
extern const std::vector<std::string> output_names;

// Writes the configuration and the data file it names into the folder.
void write_run(const TempFolder& folder, const ConfigurationText& config, std::string_view data);

// The fatal message line that ecflux prints for an input/output failure.
std::string severe(int number, const std::string& message);

}  // namespace ecflux::testing
