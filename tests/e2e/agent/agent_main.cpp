// tavicast-e2e-agent: the meeting client with a control socket, for process-level tests. It runs the
// client's own start-up with folders and a single-instance key of its own, so that several agents (a host
// and its viewers) run side by side without touching the user's settings.
//
//   tavicast-e2e-agent --data <folder> --control <socket path> [--instance <name>]
//                      [--account <account> --password <password>]
//                      [--video-size <width>x<height> --video-fps <fps>]
// With an account the client signs the member in by itself, as with a saved automatic sign-in. The video
// options are stored as the settings dialog stores them, before any meeting starts.
#include "agent.h"

#include "app/tavimeetmain.h"
#include "app/zovmeetingapplication.h"

#include <bridge/bridge_init.h>

#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

struct Options {
    std::string data;
    std::string control;
    std::string instance = "agent";
    std::string account;
    std::string password;
    std::string videoSize;
    std::string videoFps;
};

bool parse(int argc, char** argv, Options& options)
{
    for (int i = 1; i + 1 < argc; i += 2) {
        const char* name = argv[i];
        const char* value = argv[i + 1];
        if (!std::strcmp(name, "--data"))
            options.data = value;
        else if (!std::strcmp(name, "--control"))
            options.control = value;
        else if (!std::strcmp(name, "--instance"))
            options.instance = value;
        else if (!std::strcmp(name, "--account"))
            options.account = value;
        else if (!std::strcmp(name, "--password"))
            options.password = value;
        else if (!std::strcmp(name, "--video-size"))
            options.videoSize = value;
        else if (!std::strcmp(name, "--video-fps"))
            options.videoFps = value;
        else
            return false;
    }
    return !options.data.empty() && !options.control.empty();
}

// Every folder the client might write to lies under the agent's own.
bool useOwnFolders(const std::string& base)
{
    const QString root = QString::fromStdString(base);
    for (const char* sub : { "home", "data", "config", "tmp", "cfg" }) {
        if (!QDir().mkpath(root + '/' + QLatin1String(sub)))
            return false;
    }
    setenv("HOME", (base + "/home").c_str(), 1);
    setenv("XDG_DATA_HOME", (base + "/data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (base + "/config").c_str(), 1);
    setenv("TMPDIR", (base + "/tmp").c_str(), 1);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr, "usage: %s --data <folder> --control <socket path> [--instance <name>]\n", argv[0]);
        return 2;
    }
    if (!useOwnFolders(options.data)) {
        std::fprintf(stderr, "tavicast-e2e-agent: cannot make the folders under %s\n", options.data.c_str());
        return 2;
    }
    static const std::string configDir = options.data + "/cfg";
    bg::SetConfigLogDir(configDir.c_str());
    // The single-instance key includes the organisation domain: one key per agent.
    QCoreApplication::setOrganizationDomain(QStringLiteral("e2e-agent.") + QString::fromStdString(options.instance));

    std::unique_ptr<Agent> agent;
    TavimeetHooks hooks;
    hooks.announceToWhiteboard = false;
    hooks.applicationReady = [&](ZovMeetingApplication& app) {
        agent = std::make_unique<Agent>(app);
        if (!options.account.empty())
            presetSignIn(QString::fromStdString(options.account), QString::fromStdString(options.password));
        if ((!options.videoSize.empty() || !options.videoFps.empty())
            && !presetVideo(QString::fromStdString(options.videoSize), QString::fromStdString(options.videoFps))) {
            std::fprintf(stderr, "tavicast-e2e-agent: invalid --video-size or --video-fps\n");
            QMetaObject::invokeMethod(&app, [] { QCoreApplication::exit(2); }, Qt::QueuedConnection);
            return;
        }
        QString error;
        if (!agent->listen(QString::fromStdString(options.control), &error)) {
            std::fprintf(stderr, "tavicast-e2e-agent: %s\n", qPrintable(error));
            QMetaObject::invokeMethod(&app, [] { QCoreApplication::exit(2); }, Qt::QueuedConnection);
            return;
        }
        std::printf("tavicast-e2e-agent: listening at %s\n", options.control.c_str());
        std::fflush(stdout);
    };
    hooks.applicationEnding = [&](ZovMeetingApplication&) { agent.reset(); };
    return runTavimeet(argc > 0 ? 1 : 0, argv, hooks);
}
