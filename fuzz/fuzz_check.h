// FUZZ_CHECK: the assertion of the fuzz targets. A failed check prints what
// was expected and aborts, which libFuzzer reports as a crash and saves the
// input that caused it.

#ifndef VORPALYX_FUZZ_FUZZ_CHECK_H_
#define VORPALYX_FUZZ_FUZZ_CHECK_H_

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                               \
  do {                                                                      \
    if (!(condition)) {                                                     \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, \
                   #condition);                                             \
      std::abort();                                                         \
    }                                                                       \
  } while (false)

#endif  // VORPALYX_FUZZ_FUZZ_CHECK_H_
