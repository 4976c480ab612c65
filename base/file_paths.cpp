#include "base/file_paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <vector>

#include "base/result.h"

namespace ecflux::base {
namespace {

constexpr std::string_view staged_suffix = ".ecflux-partial";

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

}  // namespace

std::string resolved_path(std::string_view name) {
  std::deque<std::string> pending =
      components(!name.empty() && name.front() == '/' ? std::string(name) : absolute_path(name));
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

std::string staged_path(std::string_view target, std::string_view tag) {
  const std::size_t slash = target.rfind('/');
  const std::size_t name_begin = slash == std::string_view::npos ? 0 : slash + 1;
  std::string path(target.substr(0, name_begin));
  path += '.';
  path += target.substr(name_begin);
  path += staged_suffix;
  if (!tag.empty()) {
    path += '.';
    path += tag;
  }
  return path;
}

std::string working_folder() {
  std::string folder = absolute_path(".");
  folder.resize(folder.size() - 2);  // without "/."
  return folder.empty() ? "/" : folder;
}

bool is_staged_name(std::string_view file_name) {
  if (file_name.size() <= staged_suffix.size() + 1 || file_name.front() != '.') return false;
  const std::size_t at = file_name.find(staged_suffix, 1);
  return at != std::string_view::npos && (at + staged_suffix.size() == file_name.size() ||
                                          file_name[at + staged_suffix.size()] == '.');
}

}  // namespace ecflux::base
