// Runs a command and writes its wall time, user and system processor time
// (seconds) and peak resident memory (kilobytes) to a file, as one line
// "WALL USER SYS MAXRSS_KB". The bench script uses it where /usr/bin/time is
// missing; the line has the same fields as its -f "%e %U %S %M".
//
//   peak_rss OUTPUT COMMAND [ARGUMENTS...]
//
// The command's own standard output and error pass through; the exit status
// is the command's.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

namespace {

double seconds(const timeval& time) {
  return static_cast<double>(time.tv_sec) + 1e-6 * static_cast<double>(time.tv_usec);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: peak_rss OUTPUT COMMAND [ARGUMENTS...]\n");
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child < 0) {
    std::perror("fork");
    return 1;
  }
  if (child == 0) {
    execvp(argv[2], argv + 2);
    std::perror(argv[2]);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (wait4(child, &status, 0, &usage) < 0) {
    std::perror("wait4");
    return 1;
  }
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::FILE* out = std::fopen(argv[1], "w");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  // ru_maxrss is in kilobytes on Linux.
  std::fprintf(out, "%.3f %.3f %.3f %ld\n", wall, seconds(usage.ru_utime), seconds(usage.ru_stime),
               usage.ru_maxrss);
  std::fclose(out);
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}
