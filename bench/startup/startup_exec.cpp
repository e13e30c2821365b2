// startup_exec PROBE PROGRAM [ARGS...]: reads the monotonic clock, puts it in TAVICAST_PROBE_T0 (nanoseconds)
// and replaces itself with PROGRAM, the library PROBE preloaded (PROBE is LD_PRELOAD's value: more libraries
// may follow it, separated by ':'), so that the probe measures from the exec.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: startup_exec PROBE PROGRAM [ARGS...]\n");
        return 2;
    }
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const std::string t0 = std::to_string(static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
    setenv("TAVICAST_PROBE_T0", t0.c_str(), 1);
    setenv("LD_PRELOAD", argv[1], 1);
    execv(argv[2], argv + 2);
    std::perror("startup_exec");
    return 127;
}
