#pragma once

// Helpers for tests that work with real files and run the built program.

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace ecflux::testing {

// Whether this build (tests and programs alike) runs under AddressSanitizer,
// which reserves more address space than a limit of it leaves.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool address_sanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool address_sanitizer = true;
#else
inline constexpr bool address_sanitizer = false;
#endif
#else
inline constexpr bool address_sanitizer = false;
#endif

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
  // The names in the folder, sorted: to see that a run created nothing.
  std::vector<std::string> names() const;

 private:
  std::filesystem::path path_;
};

std::string read_file(const std::filesystem::path& path);

// One entry of a folder as a run may not change it: its name, its content
// (a link's target, "<folder>" or "<other>" for what is not a regular file)
// and its modification time in nanoseconds; none for a named pipe or a
// device, whose time changes with the data that pass through it.
struct FolderEntry {
  std::string name;
  std::string content;
  long long modified_ns = 0;

  bool operator==(const FolderEntry&) const = default;
};

// Every entry of a folder, sorted by name: to see that a run that did not
// complete left the folder as it was, byte for byte and by modification time.
std::vector<FolderEntry> folder_state(const std::filesystem::path& folder);
void write_file(const std::filesystem::path& path, std::string_view content);

struct ProcessResult {
  int exit_status = -1;    // -1 when the program did not end normally
  int signal = 0;          // the signal that ended it, if one did
  bool timed_out = false;  // killed after the time limit
  std::string standard_output;
  std::string standard_error;
  long peak_memory_kb = 0;  // the program's largest resident set
};

// How to start a program: its arguments, limits and standard streams.
struct ProcessOptions {
  std::vector<std::string> arguments;
  std::chrono::seconds limit = std::chrono::seconds(120);  // then it is killed
  int processors = 0;  // above zero: it may run on that many processors only
  // Resource limits set before it starts (setrlimit), such as RLIMIT_AS.
  std::vector<std::pair<int, unsigned long>> resource_limits;
  // Standard streams started closed; a closed one captures nothing.
  bool close_standard_input = false;
  bool close_standard_output = false;
  bool close_standard_error = false;
  // Standard output and standard error into these files (created or
  // replaced, as a shell's redirection would, or appended to) instead of the
  // capture.
  std::filesystem::path standard_output_file;
  std::filesystem::path standard_error_file;
  bool append = false;  // as ">>" and "2>>"
  // Added to the program's environment, each "NAME=value": what a library
  // preloaded into it reads.
  std::vector<std::string> environment;
  // Above zero: the user it runs as (the test must be root to give it).
  unsigned user = 0;
};

// A program started in `folder` in the background, with standard output and
// standard error captured; killed when it goes away unfinished.
class StartedProgram {
 public:
  StartedProgram(const std::string& program, const std::filesystem::path& folder,
                 const ProcessOptions& options);
  ~StartedProgram();
  StartedProgram(const StartedProgram&) = delete;
  StartedProgram& operator=(const StartedProgram&) = delete;

  bool running() const;
  void signal(int number) const;
  // The system call that its main thread waits in (SYS_read, SYS_openat,
  // ...), or -1 while it runs or waits in none.
  long waiting_in() const;
  // Waits for its end (killing it at the time limit) and collects it.
  ProcessResult wait();

 private:
  std::filesystem::path out_path_;
  std::filesystem::path err_path_;
  std::chrono::steady_clock::time_point deadline_;
  int pid_ = -1;
};

// Whether `condition` holds within `limit`, looking every few milliseconds.
template <class Condition>
bool eventually(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// Writes all of `text` to a descriptor; false when a write fails.
bool write_all(int descriptor, std::string_view text);

// Opens the writing end of a named pipe once a program has opened its reading
// end (within a time limit); -1 when none has.
int open_pipe_writer(const std::filesystem::path& pipe);

// Whether a run holds the lock of `folder`. Asking takes the lock for a
// moment when nobody holds it, which refuses a run that starts just then: ask
// while a run holds it or once none can start.
bool folder_locked(const std::filesystem::path& folder);

// Runs a program in `folder`, with standard output and standard error
// captured.
ProcessResult run_program(const std::string& program, const std::filesystem::path& folder,
                          const ProcessOptions& options);

// The same with no arguments, killed after `limit`.
ProcessResult run_program(const std::string& program, const std::filesystem::path& folder,
                          std::chrono::seconds limit = std::chrono::seconds(120),
                          int processors = 0);

// The records of a text, split at CR LF; a final record without its line end
// is returned as it is.
std::vector<std::string> split_records(std::string_view text);

// The fields of a CSV record of the run's files, none of which is quoted.
std::vector<std::string> split_csv_fields(std::string_view record);

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

// The files of results a run creates (without --csv), in the order it creates
// them, with the configuration's default results file name; not run.json,
// which also records when the run was made.
extern const std::vector<std::string> output_names;

// One data record at 10 Hz: the time, then values that vary a little with
// `i`, so that every statistic of a block is defined.
std::string ten_hertz_record(int i, double time);

// `count` such records, the times from `first_time` in steps of 0.1, the
// values from the `first_index`th on.
std::string ten_hertz_records(int count, double first_time = 0.0, int first_index = 0);

// Writes the configuration and the data file it names into the folder.
void write_run(const TempFolder& folder, const ConfigurationText& config, std::string_view data);

// The fatal message line that ecflux prints for an input/output failure.
std::string severe(int number, const std::string& message);

// The last line of a run that failed: the earlier results in the run folder
// are unchanged, or it held none and none were written.
std::string earlier_results_unchanged(const std::filesystem::path& folder);
std::string no_earlier_results(const std::filesystem::path& folder);

}  // namespace ecflux::testing
