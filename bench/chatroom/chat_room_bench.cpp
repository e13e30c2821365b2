// A chat room's load (200 members, 20 of them talking, 50 texts a second, 60 s) through the local service's
// rooms (plain, and over TLS as the program uses them) and through a bare broadcaster in the same run: texts
// lost, delivery latency, and what the serving process costs (CPU share and resident set, from /proc).
// TAVICAST_CHAT_LOAD_SECONDS shortens the load.
#include "support/chat_load.h"
#include "support/proc_sampler.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

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

enum class Target { Bare, Service, ServiceTls };

void runLoad(benchmark::State& state, const std::string& name, Target target)
{
    const bool service = target != Target::Bare;
    const std::string caFile = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp")
        + "/bench-chat-room-ca-" + std::to_string(::getpid()) + ".pem";
    for (auto _ : state) {
        support::ChildProgram program;
        std::string address;
        std::string error;
        const bool started = target == Target::Bare
            ? program.start(BROADCASTER_PROGRAM, {}, "ws URL: ", address, error)
            : program.start(DEVSERVICE_PROGRAM,
                target == Target::Service ? std::vector<std::string> { "--http" }
                                          : std::vector<std::string> { "--ca-file", caFile },
                "base URL: ", address, error);
        if (!started) {
            state.SkipWithError(error.c_str());
            return;
        }
        chatload::Options options;
        options.seconds = loadSeconds();
        if (target == Target::ServiceTls) {
            options.caFile = caFile;
            ::setenv("TAVICAST_CA_FILE", caFile.c_str(), 1); // for the room's administration calls
        }
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
        std::remove(caFile.c_str());
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

void BareBroadcaster(benchmark::State& state) { runLoad(state, "bare", Target::Bare); }
void ChatRoomService(benchmark::State& state) { runLoad(state, "service", Target::Service); }
// The same rooms as the program and its tests use them, over TLS: what encryption adds.
void ChatRoomServiceTls(benchmark::State& state) { runLoad(state, "service-tls", Target::ServiceTls); }

BENCHMARK(BareBroadcaster)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(ChatRoomService)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(ChatRoomServiceTls)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

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
    std::printf("chat room, delivery latency p50 %.1f ms, p99 %.1f ms (goal: p99 <= 100 ms)\n",
        s.result.p50Ms, s.result.p99Ms);
    std::printf("chat room CPU / bare broadcaster CPU: %.1f %% / %.1f %% = %.2fx (goal: <= 2)\n", s.cpu * 100,
        b.cpu * 100, b.cpu > 0 ? s.cpu / b.cpu : 0.0);
    std::printf("resident set: service %.1f MB, bare broadcaster %.1f MB\n", double(s.rssKb) / 1024,
        double(b.rssKb) / 1024);
    if (const auto tls = figures.find("service-tls"); tls != figures.end()) {
        const Figures& t = tls->second;
        std::printf(
            "over TLS: lost %lld, p50 %.1f ms, p99 %.1f ms, CPU %.1f %% (%.2fx the bare broadcaster), "
            "resident set %.1f MB\n",
            t.result.lost(), t.result.p50Ms, t.result.p99Ms, t.cpu * 100, b.cpu > 0 ? t.cpu / b.cpu : 0.0,
            double(t.rssKb) / 1024);
    }
    return 0;
}
