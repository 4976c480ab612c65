#include "tests/support/test_support.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "report/output_files.h"

namespace ecflux::testing {

const std::vector<std::string> output_names = [] {
  std::vector<std::string> names;
  for (const report::OutputFileInfo& file : report::output_files) {
    // run.json records when and how the run was made, so it differs between
    // two runs of the same data; its own tests compare it.
    if (file.role == report::OutputRole::standard_output ||
        file.role == report::OutputRole::run_record || !report::written_by_run(file, false)) {
      continue;
    }
    names.emplace_back(report::output_name(file, ConfigurationText{}.results_file));
  }
  return names;
}();

TempFolder::TempFolder() {
  static std::atomic<int> counter{0};
  const auto base = std::filesystem::temp_directory_path();
  for (;;) {
    auto candidate =
        base / ("ecflux-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  // Restore write permission that a test may have taken away, so that the
  // folder can be removed.
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

void TempFolder::write(std::string_view name, std::string_view content) const {
  write_file(path_ / name, content);
}

std::string TempFolder::read(std::string_view name) const { return read_file(path_ / name); }

bool TempFolder::exists(std::string_view name) const {
  std::error_code ignored;
  return std::filesystem::exists(std::filesystem::symlink_status(path_ / name, ignored));
}

std::vector<std::string> TempFolder::names() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path_)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void write_file(const std::filesystem::path& path, std::string_view content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

namespace {

// In the child: keeps it to the first `processors` processors it may use.
void restrict_processors(int processors) {
  cpu_set_t allowed, chosen;
  CPU_ZERO(&chosen);
  if (::sched_getaffinity(0, sizeof allowed, &allowed) != 0) ::_exit(126);
  int taken = 0;
  for (std::size_t cpu = 0; cpu < CPU_SETSIZE && taken < processors; ++cpu) {
    if (CPU_ISSET(cpu, &allowed)) {
      CPU_SET(cpu, &chosen);
      ++taken;
    }
  }
  if (::sched_setaffinity(0, sizeof chosen, &chosen) != 0) ::_exit(126);
}

// In the child: puts `path` on descriptor `target`, or closes it.
void redirect(int target, const std::filesystem::path& path, bool closed, bool append = false) {
  if (closed) {
    ::close(target);
    return;
  }
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | (append ? O_APPEND : O_TRUNC), 0644);
  if (fd < 0 || ::dup2(fd, target) < 0) ::_exit(126);
  ::close(fd);
}

// The environment of a program: the test's, with `added` in place of the
// variables of the same names.
std::vector<std::string> environment_with(const std::vector<std::string>& added) {
  std::vector<std::string> entries = added;
  const auto name = [](std::string_view entry) { return entry.substr(0, entry.find('=')); };
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const bool replaced = std::any_of(
        added.begin(), added.end(), [&](const std::string& a) { return name(a) == name(*entry); });
    if (!replaced) entries.emplace_back(*entry);
  }
  return entries;
}

}  // namespace

namespace {

// Programs started at once in one folder capture into files of their own.
std::string capture_name(const char* stream) {
  static std::atomic<int> started{0};
  return std::string(".") + stream + ".capture." + std::to_string(++started);
}

}  // namespace

StartedProgram::StartedProgram(const std::string& program, const std::filesystem::path& folder,
                               const ProcessOptions& options)
    : out_path_(folder / capture_name("stdout")),
      err_path_(folder / capture_name("stderr")),
      deadline_(std::chrono::steady_clock::now() + options.limit) {
  std::vector<std::string> argument_texts = {program};
  argument_texts.insert(argument_texts.end(), options.arguments.begin(), options.arguments.end());
  std::vector<char*> arguments;
  for (std::string& text : argument_texts) arguments.push_back(text.data());
  arguments.push_back(nullptr);
  std::vector<std::string> environment_texts = environment_with(options.environment);
  std::vector<char*> environment;
  for (std::string& text : environment_texts) environment.push_back(text.data());
  environment.push_back(nullptr);

  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    if (::chdir(folder.c_str()) != 0) ::_exit(126);
    if (options.processors > 0) restrict_processors(options.processors);
    const bool own_output = !options.standard_output_file.empty();
    const bool own_error = !options.standard_error_file.empty();
    redirect(1, own_output ? options.standard_output_file : out_path_,
             options.close_standard_output, own_output && options.append);
    redirect(2, own_error ? options.standard_error_file : err_path_, options.close_standard_error,
             own_error && options.append);
    if (options.close_standard_input) ::close(0);
    for (const auto& [resource, value] : options.resource_limits) {
      const rlimit limit{value, value};
      if (::setrlimit(resource, &limit) != 0) ::_exit(126);
    }
    if (options.user > 0 && (::setgid(options.user) != 0 || ::setuid(options.user) != 0)) {
      ::_exit(126);
    }
    ::execve(program.c_str(), arguments.data(), environment.data());
    ::_exit(127);
  }
}

StartedProgram::~StartedProgram() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
}

bool StartedProgram::running() const {
  return pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG | WNOWAIT) == 0;
}

void StartedProgram::signal(int number) const {
  if (pid_ > 0) ::kill(pid_, number);
}

long StartedProgram::waiting_in() const {
  if (pid_ <= 0) return -1;
  const std::string process = "/proc/" + std::to_string(pid_);
  // A wait that a signal interrupts ("S"), not a moment on the disk ("D").
  std::ifstream stat(process + "/stat");
  std::string pid, name, state;
  if (!(stat >> pid >> name >> state) || state != "S") return -1;
  // The first field is the number of the call, or "running".
  std::ifstream call(process + "/syscall");
  long number = -1;
  if (!(call >> number)) return -1;
  return number;
}

ProcessResult StartedProgram::wait() {
  ProcessResult result;
  int status = 0;
  rusage usage{};
  for (;;) {
    const pid_t done = ::wait4(pid_, &status, WNOHANG, &usage);
    if (done == pid_) break;
    if (std::chrono::steady_clock::now() > deadline_) {
      ::kill(pid_, SIGKILL);
      ::wait4(pid_, &status, 0, &usage);
      result.timed_out = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  pid_ = -1;
  if (!result.timed_out && WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  result.peak_memory_kb = usage.ru_maxrss;
  if (std::filesystem::exists(out_path_)) result.standard_output = read_file(out_path_);
  if (std::filesystem::exists(err_path_)) result.standard_error = read_file(err_path_);
  std::filesystem::remove(out_path_);
  std::filesystem::remove(err_path_);
  return result;
}

bool write_all(int descriptor, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(descriptor, text.data(), text.size());
    if (written <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

int open_pipe_writer(const std::filesystem::path& pipe) {
  // Without a reader, a writer's open would wait: it is tried without
  // waiting until the program has opened the pipe.
  int descriptor = -1;
  eventually([&] {
    descriptor = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    return descriptor >= 0;
  });
  if (descriptor >= 0) ::fcntl(descriptor, F_SETFL, 0);
  return descriptor;
}

bool folder_locked(const std::filesystem::path& folder) {
  const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const bool taken = ::flock(descriptor, LOCK_EX | LOCK_NB) != 0;
  ::close(descriptor);
  return taken;
}

ProcessResult run_program(const std::string& program, const std::filesystem::path& folder,
                          const ProcessOptions& options) {
  return StartedProgram(program, folder, options).wait();
}

ProcessResult run_program(const std::string& program, const std::filesystem::path& folder,
                          std::chrono::seconds limit, int processors) {
  ProcessOptions options;
  options.limit = limit;
  options.processors = processors;
  return run_program(program, folder, options);
}

std::vector<std::string> split_csv_fields(std::string_view record) {
  std::vector<std::string> fields;
  std::size_t begin = 0;
  for (std::size_t end; (end = record.find(',', begin)) != std::string_view::npos;
       begin = end + 1) {
    fields.emplace_back(record.substr(begin, end - begin));
  }
  fields.emplace_back(record.substr(begin));
  return fields;
}

std::vector<std::string> split_records(std::string_view text) {
  std::vector<std::string> records;
  while (!text.empty()) {
    const auto end = text.find("\r\n");
    if (end == std::string_view::npos) {
      records.emplace_back(text);
      break;
    }
    records.emplace_back(text.substr(0, end));
    text.remove_prefix(end + 2);
  }
  return records;
}

std::string ConfigurationText::text() const {
  auto line = [](std::string_view label, std::string_view value) {
    std::string text(label);
    text.resize(23, ' ');
    return text + std::string(value) + "\r\n";
  };
  std::string text;
  for (int i = 1; i <= 28; ++i) text += "free text line " + std::to_string(i) + " 1.5 2 3\r\n";
  text += line("data file", data_file);
  text += "\r\n\r\n";
  text += line("results file", results_file);
  text += line("sample rate", sample_rate);
  text += line("start time", start_time);
  text += line("end time", end_time);
  text += line("block seconds", block_seconds);
  text += line("temperature column", temperature_select);
  text += line("w column", w_select);
  text += line("window seconds", window_seconds);
  return text;
}

std::string ten_hertz_record(int i, double time) {
  char line[128];
  std::snprintf(line, sizeof line, "%.1f %.2f %.2f %.2f %.2f %.3f %.3f\n", time, 10.0 + i % 7,
                -3.0 + i % 5, (i * 7 % 11 - 5) * 0.1, 0.0, 4.0 + (i * 3 % 13) * 0.01,
                4.0 + (i * 5 % 11) * 0.01);
  return line;
}

std::string ten_hertz_records(int count, double first_time, int first_index) {
  std::string text;
  for (int i = 0; i < count; ++i) text += ten_hertz_record(first_index + i, first_time + i * 0.1);
  return text;
}

void write_run(const TempFolder& folder, const ConfigurationText& config, std::string_view data) {
  folder.write("ConfigDRAVEK.Dat", config.text());
  folder.write(config.data_file, data);
}

std::vector<FolderEntry> folder_state(const std::filesystem::path& folder) {
  std::vector<FolderEntry> entries;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    struct stat status {};
    if (::lstat(entry.path().c_str(), &status) != 0) continue;
    FolderEntry state{
        entry.path().filename().string(), "<other>",
        static_cast<long long>(status.st_mtim.tv_sec) * 1'000'000'000LL + status.st_mtim.tv_nsec};
    if (S_ISREG(status.st_mode)) {
      state.content = read_file(entry.path());
    } else if (S_ISLNK(status.st_mode)) {
      state.content = "-> " + std::filesystem::read_symlink(entry.path()).string();
    } else if (S_ISDIR(status.st_mode)) {
      state.content = "<folder>";
    } else {
      state.modified_ns = 0;
    }
    entries.push_back(std::move(state));
  }
  std::sort(entries.begin(), entries.end(),
            [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  return entries;
}

std::string severe(int number, const std::string& message) {
  return "forrtl: severe (" + std::to_string(number) + "): " + message + "\n";
}

std::string earlier_results_unchanged(const std::filesystem::path& folder) {
  return "ecflux: the earlier results in " + std::filesystem::canonical(folder).string() +
         " are unchanged\n";
}

std::string no_earlier_results(const std::filesystem::path& folder) {
  return "ecflux: " + std::filesystem::canonical(folder).string() +
         " held no earlier results, and none were written\n";
}

}  // namespace ecflux::testing
