// A failed property ends the fuzz run like a crash, with a message that
// says which property failed. The message goes to a copy of standard error
// taken at start-up, since libFuzzer may close the program's own (its
// option -close_fd_mask) to keep the program's messages out of its log.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

inline int fuzz_report_fd = 2;

// Call once at start-up, before libFuzzer closes standard error.
inline void fuzz_keep_report_fd() {
    int fd = dup(2);
    if (fd >= 0) fuzz_report_fd = fd;
}

#define FUZZ_CHECK(cond, ...)                                                          \
    do {                                                                               \
        if (!(cond)) {                                                                 \
            dprintf(fuzz_report_fd, "property failed: %s (%s:%d)\n", #cond, __FILE__, \
                    __LINE__);                                                         \
            dprintf(fuzz_report_fd, __VA_ARGS__);                                      \
            dprintf(fuzz_report_fd, "\n");                                             \
            std::abort();                                                              \
        }                                                                              \
    } while (0)
