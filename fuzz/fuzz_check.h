#pragma once

#include <cstdio>
#include <cstdlib>

// A broken invariant of a target (a write that does not read back, say): reported and ended with abort,
// which libFuzzer saves as a crash input and the replay test reports as a failure.
#define FUZZ_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);              \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (0)
