// What hosting costs: the whole client (the participant agent, a real Tavimeet with a control socket) hosts a
// meeting of the colour bars at 1280x720, 30 fps, with two viewer clients, all against the local service;
// beside it, in the same run, a bare gst-launch-1.0 pipeline encodes the same pattern with the host's own VP8
// settings. Both processes are sampled every second from /proc: CPU share and resident set.
// TAVICAST_HOST_MEETING_SECONDS sets the hosting time (default 300); the resident set's growth is taken from
// the first fifth of it (minute 1 of 5) to its end.
#include "agentprocess.h"
#include "support/child_program.h"
#include "support/colourbars.h"
#include "support/encode_reference.h"
#include "support/proc_sampler.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kDeadlineMs = 120000; // start-up, sign-in, first pictures: generous on a loaded machine

double hostingSeconds()
{
    const char* value = std::getenv("TAVICAST_HOST_MEETING_SECONDS");
    const double seconds = value ? std::atof(value) : 0;
    return seconds > 0 ? seconds : 300;
}

std::string loadAverage()
{
    std::ifstream file("/proc/loadavg");
    double one = 0, five = 0, fifteen = 0;
    file >> one >> five >> fifteen;
    char text[64];
    std::snprintf(text, sizeof text, "%.2f, %.2f, %.2f", one, five, fifteen);
    return text;
}

struct Figures {
    double seconds = 0; // hosting time sampled
    hostcost::Cost host; // over the whole time
    hostcost::Cost reference;
    hostcost::Cost hostSteady; // from the first fifth to the end: the resident set's growth
    hostcost::Cost referenceSteady;
    double composedFps = 0; // canvas pictures the host composed per second
    std::vector<procstats::Sample> hostSamples;
    std::vector<procstats::Sample> referenceSamples;
    std::vector<procstats::ThreadTime> hostThreads; // CPU seconds each of the host's threads used
    pid_t hostPid = 0;
    zovwebrtc::PublisherSettings settings;
    std::string loadBefore;
    std::string loadAfter;
};
std::optional<Figures> figures;

QJsonObject request(const char* command, std::initializer_list<std::pair<const char*, QString>> members)
{
    QJsonObject object { { QStringLiteral("cmd"), QString::fromLatin1(command) } };
    for (const auto& [name, value] : members)
        object.insert(QString::fromLatin1(name), value);
    return object;
}

bool isOk(const QJsonObject& answer) { return answer.value(QStringLiteral("ok")).toBool(); }
bool signedIn(const QJsonObject& answer) { return answer.value(QStringLiteral("signedIn")).toBool(); }
std::string text(const QJsonObject& answer)
{
    return QJsonDocument(answer).toJson(QJsonDocument::Compact).toStdString();
}

// The picture of a viewer's first visible renderer that shows the host's bars; null when none does.
QImage barsShown(const QJsonObject& answer)
{
    for (const QJsonValue& value : answer.value(QStringLiteral("frames")).toArray()) {
        const QJsonObject frame = value.toObject();
        const QString png = frame.value(QStringLiteral("png")).toString();
        if (!frame.value(QStringLiteral("visible")).toBool() || png.isEmpty())
            continue;
        const QImage picture = QImage::fromData(QByteArray::fromBase64(png.toLatin1()), "PNG");
        if (colourbars::showsBars(picture))
            return picture;
    }
    return {};
}
bool showsBars(const QJsonObject& answer) { return !barsShown(answer).isNull(); }

// The encoder settings the host's studio runs with, as the publisher takes them.
zovwebrtc::PublisherSettings publisherSettings(const QJsonObject& studio)
{
    zovwebrtc::PublisherSettings settings;
    settings.width = studio.value(QStringLiteral("width")).toInt();
    settings.height = studio.value(QStringLiteral("height")).toInt();
    settings.fps = studio.value(QStringLiteral("fps")).toInt();
    settings.bitrateKbps = studio.value(QStringLiteral("bitrateKbps")).toInt();
    settings.rateControl = studio.value(QStringLiteral("constantRate")).toBool()
        ? zovwebrtc::PublisherSettings::RateControl::Constant
        : zovwebrtc::PublisherSettings::RateControl::Variable;
    settings.keyFrameInterval
        = std::max(1, settings.fps * studio.value(QStringLiteral("keyFrameSec")).toInt());
    return settings;
}

// The colour bars the agents' desktop shows, as the reference pipeline's pictures.
void drawBars(uint8_t* bgrx, int stride, int width, int height, uint32_t number)
{
    const QImage image = colourbars::draw(width, height, number); // RGB32: B, G, R, X in memory
    for (int row = 0; row < height; ++row)
        std::memcpy(bgrx + ptrdiff_t(row) * stride, image.constScanLine(row), size_t(width) * 4);
}

// The service, a host and two viewers, each a process; the host's meeting running with both viewers
// watching it.
class Meeting {
public:
    bool start(std::string& error)
    {
        if (!m_dir.isValid())
            return fail(error, "cannot make a temporary folder");
        std::string address;
        if (!m_service.start(DEVSERVICE_PROGRAM, { "--http" }, "base URL: ", address, error))
            return false;
        const QString serviceUrl = QString::fromStdString(address);
        const struct {
            const char* name;
            const char* account;
            const char* password;
        } members[] = { { "host", "member", "member1234" }, { "viewer1", "demo", "demo1234" },
            { "viewer2", "lifetime", "lifetime1234" } };
        for (const auto& member : members) {
            auto agent = std::make_unique<AgentProcess>(m_dir.path(), QString::fromLatin1(member.name));
            if (!agent->start(QStringLiteral(AGENT), serviceUrl,
                    { QStringLiteral("--account"), QString::fromLatin1(member.account),
                        QStringLiteral("--password"), QString::fromLatin1(member.password) }))
                return fail(
                    error, std::string(member.name) + " does not start: " + agent->log().toStdString());
            m_agents.push_back(std::move(agent));
        }
        for (const auto& agent : m_agents) {
            if (!signedIn(agent->poll("account", signedIn, kDeadlineMs)))
                return fail(error, "not signed in: " + agent->log().toStdString());
        }

        AgentProcess& host = *m_agents[0];
        const QJsonObject created
            = host.send(request("create", { { "title", QStringLiteral("hosting cost") } }));
        if (!isOk(created))
            return fail(error, "create: " + text(created));
        const QJsonObject live = host.poll(
            "meeting",
            [](const QJsonObject& answer) { return answer.value(QStringLiteral("streaming")).toBool(); },
            kDeadlineMs);
        if (!live.value(QStringLiteral("streaming")).toBool())
            return fail(
                error, "the host does not stream: " + text(host.send("messages")) + host.log().toStdString());
        const QString key = live.value(QStringLiteral("key")).toString();

        for (size_t i = 1; i < m_agents.size(); ++i) {
            const QJsonObject joined = m_agents[i]->send(
                request("join", { { "key", key }, { "name", QStringLiteral("viewer %1").arg(i) } }));
            if (!isOk(joined))
                return fail(error, "join: " + text(joined));
        }
        for (size_t i = 1; i < m_agents.size(); ++i) {
            if (!watching(*m_agents[i]))
                return fail(error,
                    "a viewer shows no bars: " + text(m_agents[i]->send("messages"))
                        + m_agents[i]->log().toStdString());
        }
        const QJsonObject pid = host.send("ping");
        m_hostPid = pid_t(pid.value(QStringLiteral("pid")).toInt());
        if (m_hostPid <= 0)
            return fail(error, "ping: " + text(pid));
        return true;
    }

    bool watching(AgentProcess& viewer) { return showsBars(viewer.poll("frames", showsBars, kDeadlineMs)); }
    // The viewer's picture of the host changes: the square has moved since the first look.
    bool moving(AgentProcess& viewer)
    {
        const std::optional<int> first
            = colourbars::squareCentre(barsShown(viewer.poll("frames", showsBars, kDeadlineMs)));
        if (!first)
            return false;
        const QJsonObject later = viewer.poll(
            "frames",
            [&first](const QJsonObject& answer) {
                const std::optional<int> square = colourbars::squareCentre(barsShown(answer));
                return square && *square != *first;
            },
            kDeadlineMs);
        const std::optional<int> square = colourbars::squareCentre(barsShown(later));
        return square && *square != *first;
    }

    AgentProcess& host() { return *m_agents.front(); }
    AgentProcess& viewer(size_t index) { return *m_agents.at(index + 1); }
    pid_t hostPid() const { return m_hostPid; }

    // The host stops the meeting; every client quits, then the service.
    void stop()
    {
        if (!m_agents.empty())
            host().send("stop");
        for (auto agent = m_agents.rbegin(); agent != m_agents.rend(); ++agent)
            (*agent)->stop();
        m_agents.clear();
        m_service.stop();
    }
    ~Meeting() { stop(); }

private:
    static bool fail(std::string& error, const std::string& why)
    {
        error = why;
        return false;
    }

    QTemporaryDir m_dir;
    support::ChildProgram m_service;
    std::vector<std::unique_ptr<AgentProcess>> m_agents;
    pid_t m_hostPid = -1;
};

void HostMeeting(benchmark::State& state)
{
    for (auto _ : state) {
        Figures out;
        Meeting meeting;
        std::string error;
        if (!meeting.start(error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        const QJsonObject studioBefore = meeting.host().send("studio");
        if (!isOk(studioBefore)) {
            state.SkipWithError(("studio: " + text(studioBefore)).c_str());
            return;
        }
        out.settings = publisherSettings(studioBefore);
        if (out.settings.width != 1280 || out.settings.height != 720 || out.settings.fps != 30) {
            state.SkipWithError(("the host does not run at 1280x720, 30 fps: " + text(studioBefore)).c_str());
            return;
        }
        hostcost::ReferenceEncoder reference;
        if (!reference.start(out.settings, error, drawBars)) {
            state.SkipWithError(("reference pipeline: " + error).c_str());
            return;
        }

        out.loadBefore = loadAverage();
        const double seconds = hostingSeconds();
        procstats::Sampler hostSampler(meeting.hostPid());
        procstats::Sampler referenceSampler(reference.pid());
        const std::vector<procstats::ThreadTime> threadsBefore = procstats::threadTimes(meeting.hostPid());
        hostSampler.start();
        referenceSampler.start();
        const double composedBefore
            = meeting.host().send("studio").value(QStringLiteral("composed")).toDouble();
        const auto began = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        hostSampler.stop();
        referenceSampler.stop();
        out.hostThreads
            = procstats::threadTimesBetween(threadsBefore, procstats::threadTimes(meeting.hostPid()));
        out.hostPid = meeting.hostPid();
        const QJsonObject studioAfter = meeting.host().send("studio");
        const double elapsed
            = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        out.loadAfter = loadAverage();
        reference.stop();

        // The meeting still runs: both viewers still see the host's pictures move.
        for (size_t i = 0; i < 2; ++i) {
            if (!meeting.moving(meeting.viewer(i))) {
                state.SkipWithError("a viewer's picture of the host no longer moves after the run");
                return;
            }
        }
        meeting.stop();

        out.seconds = seconds;
        out.hostSamples = hostSampler.samples();
        out.referenceSamples = referenceSampler.samples();
        out.host = hostcost::costBetween(out.hostSamples, 0, 1e9);
        out.reference = hostcost::costBetween(out.referenceSamples, 0, 1e9);
        out.hostSteady = hostcost::costBetween(out.hostSamples, seconds / 5, 1e9);
        out.referenceSteady = hostcost::costBetween(out.referenceSamples, seconds / 5, 1e9);
        out.composedFps
            = (studioAfter.value(QStringLiteral("composed")).toDouble() - composedBefore) / elapsed;

        state.SetIterationTime(seconds);
        state.counters["host_cpu_pct"] = out.host.cpuShare * 100;
        state.counters["gst_cpu_pct"] = out.reference.cpuShare * 100;
        state.counters["host_rss_MB"] = double(out.host.rssToKb) / 1024;
        state.counters["host_rss_growth_pct"] = out.hostSteady.rssGrowth() * 100;
        state.counters["composed_fps"] = out.composedFps;
        figures = out;
    }
}
BENCHMARK(HostMeeting)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void printFigures(const Figures& f)
{
    const double ratio = f.reference.cpuShare > 0 ? f.host.cpuShare / f.reference.cpuShare : 0.0;
    std::printf("== goals\n");
    std::printf("hosting %dx%d at %d fps (%d kbit/s %s, a key frame every %d pictures), two viewers, %.0f s; "
                "the host composed %.1f pictures/s\n",
        f.settings.width, f.settings.height, f.settings.fps, f.settings.bitrateKbps,
        f.settings.rateControl == zovwebrtc::PublisherSettings::RateControl::Constant ? "CBR" : "VBR",
        f.settings.keyFrameInterval, f.seconds, f.composedFps);
    std::printf("host CPU / bare gst-launch VP8 pipeline CPU: %.1f %% / %.1f %% = %.2fx (goal: <= 1.5)\n",
        f.host.cpuShare * 100, f.reference.cpuShare * 100, ratio);
    std::printf("host resident set, %.0f s to the end: %.1f MB -> %.1f MB, %+.2f %% (goal: <= 5 %%)\n",
        f.seconds / 5, double(f.hostSteady.rssFromKb) / 1024, double(f.hostSteady.rssToKb) / 1024,
        f.hostSteady.rssGrowth() * 100);
    std::printf("pipeline resident set, the same window: %.1f MB -> %.1f MB, %+.2f %%\n",
        double(f.referenceSteady.rssFromKb) / 1024, double(f.referenceSteady.rssToKb) / 1024,
        f.referenceSteady.rssGrowth() * 100);
    std::printf(
        "load average (1, 5, 15 min): %s before, %s after\n", f.loadBefore.c_str(), f.loadAfter.c_str());

    // Each fifth of the run: CPU share of both, the host's resident set at its end.
    std::printf("%10s %12s %12s %14s\n", "until (s)", "host CPU %", "gst CPU %", "host RSS (MB)");
    for (int part = 1; part <= 5; ++part) {
        const double from = f.seconds * (part - 1) / 5;
        const double to = f.seconds * part / 5;
        const hostcost::Cost host = hostcost::costBetween(f.hostSamples, from, to);
        const hostcost::Cost reference = hostcost::costBetween(f.referenceSamples, from, to);
        std::printf("%10.0f %12.1f %12.1f %14.1f\n", to, host.cpuShare * 100, reference.cpuShare * 100,
            double(host.rssToKb) / 1024);
    }

    // Where the host's CPU went: its busiest threads (GStreamer names its streaming threads after the
    // element whose pad they run; the program's own threads carry its name).
    std::printf("host threads, share of one core over the run:\n");
    const size_t shown = std::min<size_t>(f.hostThreads.size(), 10);
    for (size_t i = 0; i < shown; ++i) {
        const procstats::ThreadTime& thread = f.hostThreads[i];
        std::printf("  %-18s %5.1f %%%s\n", thread.name.c_str(), thread.cpuSeconds / f.seconds * 100,
            thread.tid == f.hostPid ? " (GUI thread)" : "");
    }
}

} // namespace

int main(int argc, char** argv)
{
    // Headless clients, media on loopback only, GStreamer's plug-in registry kept beside the build for every
    // client (each has a HOME of its own), no proxy look-up.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("TAVICAST_ICE_ADDRESSES", "127.0.0.1", 0);
    ::setenv("GST_REGISTRY", GST_REGISTRY_FILE, 0);
    ::setenv("GIO_USE_PROXY_RESOLVER", "dummy", 0);
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (!figures)
        return 1; // the run failed; the reason is in the benchmark's line
    printFigures(*figures);
    return 0;
}
