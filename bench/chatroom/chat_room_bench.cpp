// A chat room's load (200 members, 20 of them talking, 50 texts a second, 60 s) through the local service's
// rooms and through a bare broadcaster in the same run: texts lost, delivery latency, and what the serving
// process costs (CPU share and resident set, from /proc). TAVICAST_CHAT_LOAD_SECONDS shortens the load.
#include "support/chat_load.h"
#include "support/proc_sampler.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

namespace {

struct Figures {
    chatload::Result result;
    double cpu = 0; // share of one core
    long rssKb = 0; // peak during the load
};
std::map<std::string, Figures> figures;

double loadSeconds()
{
    const char* value = std::getenv("TAVICAST_CHAT_LOAD_SECONDS");
    const double seconds = value ? std::atof(value) : 0;
    return seconds > 0 ? seconds : 60;
}

void runLoad(benchmark::State& state, const std::string& name, bool service)
{
    for (auto _ : state) {
        support::ChildProgram program;
        std::string address;
        std::string error;
        const bool started = service
            ? program.start(DEVSERVICE_PROGRAM, { "--http" }, "base URL: ", address, error)
            : program.start(BROADCASTER_PROGRAM, {}, "ws URL: ", address, error);
        if (!started) {
            state.SkipWithError(error.c_str());
            return;
        }
        chatload::Options options;
        options.seconds = loadSeconds();
        std::vector<QUrl> urls;
        if (service) {
            if (!chatload::joinRoom(address, options.members, urls, error)) {
                state.SkipWithError(error.c_str());
                return;
            }
        } else {
            urls.assign(size_t(options.members), QUrl(QString::fromStdString(address)));
        }
        procstats::Sampler sampler(program.pid());
        options.phase = [&](bool running) { running ? sampler.start() : sampler.stop(); };
        Figures out;
        out.result = chatload::run(options, urls);
        out.cpu = sampler.cpuShare();
        out.rssKb = sampler.peakRssKb();
        program.stop();
        if (!out.result.error.empty()) {
            state.SkipWithError(out.result.error.c_str());
            return;
        }
        state.SetIterationTime(out.result.loadSeconds);
        state.counters["lost"] = double(out.result.lost());
        state.counters["dup"] = double(out.result.duplicates);
        state.counters["disorder"] = double(out.result.outOfOrder);
        state.counters["p50_ms"] = out.result.p50Ms;
        state.counters["p99_ms"] = out.result.p99Ms;
        state.counters["max_ms"] = out.result.maxMs;
        state.counters["cpu_pct"] = out.cpu * 100;
        state.counters["rss_MB"] = double(out.rssKb) / 1024;
        figures[name] = out;
    }
}

void ChatRoomService(benchmark::State& state) { runLoad(state, "service", true); }
void BareBroadcaster(benchmark::State& state) { runLoad(state, "bare", false); }

BENCHMARK(BareBroadcaster)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(ChatRoomService)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    const auto service = figures.find("service");
    const auto bare = figures.find("bare");
    if (service == figures.end() || bare == figures.end())
        return 0;
    const Figures& s = service->second;
    const Figures& b = bare->second;
    std::printf("== goals\n");
    std::printf("chat room, texts lost: %lld of %lld (goal: 0)\n", s.result.lost(), s.result.expected);
    std::printf("chat room, delivery latency p50 %.1f ms, p99 %.1f ms (goal: p99 <= 100 ms)\n", s.result.p50Ms,
        s.result.p99Ms);
    std::printf("chat room CPU / bare broadcaster CPU: %.1f %% / %.1f %% = %.2fx (goal: <= 2)\n", s.cpu * 100,
        b.cpu * 100, b.cpu > 0 ? s.cpu / b.cpu : 0.0);
    std::printf("resident set: service %.1f MB, bare broadcaster %.1f MB\n", double(s.rssKb) / 1024,
        double(b.rssKb) / 1024);
    return 0;
}
