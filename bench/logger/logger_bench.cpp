// Lines per second written to a file by the framework logger, beside plain fprintf + fflush of the same line
// (one lock-free stdio call per line, the floor any flushing logger can reach), with 1 and 8 threads.
#include <bridge/logger.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

constexpr char kFormat[] = "%s[E][bg] %s %-4d: \"meeting %s joined by %d\"\n";

std::string bench_path(const char* name)
{
    return (std::filesystem::temp_directory_path()
        / (std::string("tavicast-bench-") + std::to_string(getpid()) + name))
        .string();
}

bg::Logger* shared_logger = nullptr;
FILE* shared_file = nullptr;

void BM_Logger(benchmark::State& state)
{
    static std::string path;
    if (state.thread_index() == 0) {
        path = bench_path("-logger.log");
        shared_logger = new bg::Logger(path.c_str());
        shared_logger->set_level(2);
    }
    for (auto _ : state)
        shared_logger->log(2, "bg", kFormat, "1210-14:03:07", "logger_bench.cpp", 42, "12345678", 7);
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0) {
        delete shared_logger;
        std::filesystem::remove(path);
    }
}

void BM_Fprintf(benchmark::State& state)
{
    static std::string path;
    if (state.thread_index() == 0) {
        path = bench_path("-fprintf.log");
        shared_file = fopen(path.c_str(), "a+");
    }
    for (auto _ : state) {
        fprintf(shared_file, kFormat, "1210-14:03:07", "logger_bench.cpp", 42, "12345678", 7);
        fflush(shared_file);
    }
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0) {
        fclose(shared_file);
        std::filesystem::remove(path);
    }
}

} // namespace

BENCHMARK(BM_Logger)->Threads(1)->Threads(8)->UseRealTime();
BENCHMARK(BM_Fprintf)->Threads(1)->Threads(8)->UseRealTime();
