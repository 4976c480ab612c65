#pragma once

// Failing a fuzz run: a message on standard error, then abort(), which
// libFuzzer reports as a crash and saves the input that caused it.

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition, ...)                                                         \
  do {                                                                                     \
    if (!(condition)) {                                                                    \
      std::fprintf(stderr, "check failed at %s:%d: %s\n", __FILE__, __LINE__, #condition); \
      std::fprintf(stderr, __VA_ARGS__);                                                   \
      std::fputc('\n', stderr);                                                            \
      std::abort();                                                                        \
    }                                                                                      \
  } while (false)
