#include "driver/file_guard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include <deque>
#include <vector>

#include "report/output_files.h"

namespace ecflux::driver {
namespace {

// More links than this on one path is a loop.
constexpr int max_links = 40;

// The components of a path, without empty ones.
std::deque<std::string> components(std::string_view path) {
  std::deque<std::string> parts;
  std::size_t begin = 0;
  while (begin <= path.size()) {
    const std::size_t end = std::min(path.find('/', begin), path.size());
    if (end > begin) parts.emplace_back(path.substr(begin, end - begin));
    begin = end + 1;
  }
  return parts;
}

void drop_last(std::string& path) {
  const std::size_t slash = path.rfind('/');
  path.erase(slash == 0 ? 1 : slash);
}

std::string join(const std::string& folder, const std::string& name) {
  return folder == "/" ? "/" + name : folder + "/" + name;
}

// The target of a symbolic link, or nothing when `path` is not one.
bool read_link(const std::string& path, std::string& target) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return false;
  std::vector<char> buffer(static_cast<std::size_t>(status.st_size) + 256);
  const ssize_t length = ::readlink(path.c_str(), buffer.data(), buffer.size());
  if (length < 0) return false;
  target.assign(buffer.data(), static_cast<std::size_t>(length));
  return true;
}

struct NamedFile {
  std::string_view description;
  std::string name;
};

std::string same_file_refusal(const std::string& first, const std::string& second) {
  return first + " and " + second + " are the same file; nothing was written";
}

std::string described(const NamedFile& file) {
  return std::string(file.description) + " " + textio::absolute_path(file.name);
}

// Standard output as a file, when it is one: its device and inode.
bool standard_output_status(struct stat& status) {
  return ::fstat(STDOUT_FILENO, &status) == 0 && S_ISREG(status.st_mode);
}

}  // namespace

std::string resolved_path(std::string_view name) {
  std::deque<std::string> pending = components(
      !name.empty() && name.front() == '/' ? std::string(name) : textio::absolute_path(name));
  std::string path = "/";
  int links = 0;
  while (!pending.empty()) {
    const std::string part = std::move(pending.front());
    pending.pop_front();
    if (part == ".") continue;
    if (part == "..") {
      drop_last(path);
      continue;
    }
    const std::string candidate = join(path, part);
    std::string target;
    if (links < max_links && read_link(candidate, target)) {
      ++links;
      // The link's target takes the link's place; a relative one is read from
      // the link's folder.
      std::deque<std::string> replacement = components(target);
      pending.insert(pending.begin(), replacement.begin(), replacement.end());
      if (!target.empty() && target.front() == '/') path = "/";
      continue;
    }
    path = candidate;
  }
  return path;
}

bool same_file(std::string_view a, std::string_view b) {
  const std::string path_a(a), path_b(b);
  struct stat sa {
  }, sb{};
  const bool a_exists = ::stat(path_a.c_str(), &sa) == 0;
  const bool b_exists = ::stat(path_b.c_str(), &sb) == 0;
  if (a_exists && b_exists) return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  if (a_exists != b_exists) return false;
  return resolved_path(a) == resolved_path(b);
}

textio::Status check_files_are_distinct(const input::Configuration& config, bool csv) {
  std::vector<NamedFile> files = {
      {"the data file", config.data_file_name},
      {"the configuration file", std::string(input::configuration_file_name)},
  };
  const std::size_t inputs = files.size();
  for (const report::OutputFileInfo& file : report::output_files) {
    if (file.role == report::OutputRole::standard_output || (file.csv && !csv)) continue;
    files.push_back(
        {file.description, std::string(report::output_name(file, config.results_file_name))});
  }
  for (std::size_t i = 0; i < files.size(); ++i) {
    for (std::size_t j = std::max(i + 1, inputs); j < files.size(); ++j) {
      if (same_file(files[i].name, files[j].name)) {
        return textio::Refusal{same_file_refusal(described(files[i]), described(files[j]))};
      }
    }
  }
  // Progress lines written into an input or an output would replace it or
  // mix with its records.
  struct stat screen {};
  if (standard_output_status(screen)) {
    for (const NamedFile& file : files) {
      struct stat status {};
      if (::stat(file.name.c_str(), &status) == 0 && status.st_dev == screen.st_dev &&
          status.st_ino == screen.st_ino) {
        return textio::Refusal{same_file_refusal("standard output", described(file))};
      }
    }
  }
  return {};
}

RunLock::RunLock(RunLock&& other) noexcept : descriptor_(std::exchange(other.descriptor_, -1)) {}

RunLock& RunLock::operator=(RunLock&& other) noexcept {
  if (this != &other) {
    if (descriptor_ >= 0) ::close(descriptor_);
    descriptor_ = std::exchange(other.descriptor_, -1);
  }
  return *this;
}

RunLock::~RunLock() {
  if (descriptor_ >= 0) ::close(descriptor_);
}

textio::Result<RunLock> lock_run_folder() {
  const std::string name(input::configuration_file_name);
  const int descriptor = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) return RunLock();
  if (::flock(descriptor, LOCK_EX | LOCK_NB) == 0) return RunLock(descriptor);
  const int error = errno;
  ::close(descriptor);
  if (error != EWOULDBLOCK) return RunLock();
  std::string folder = textio::absolute_path(".");
  folder.resize(folder.size() - 2);  // without "/."
  if (folder.empty()) folder = "/";
  return textio::Refusal{"another run is writing in " + folder + "; nothing was written"};
}

}  // namespace ecflux::driver
