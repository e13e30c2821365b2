// tavicast-devservice: serves the client's requests on 127.0.0.1 for local runs and manual tests.

#include <devservice/roomservice.h>
#include <devservice/membershiproutes.h>
#include <devservice/secrets.h>
#include <devservice/service.h>
#include <devservice/statepage.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int quitPipe[2] = { -1, -1 };

void onQuitSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(quitPipe[1], &byte, 1);
}

// One line on standard output per request a route answers, so a local run shows what the client asked; the
// secrets in its query are masked.
void logEveryRequest(devservice::RouteTable& routes)
{
    for (auto& [path, route] : routes) {
        auto answer = std::move(route.handler);
        route.handler = [answer](const devservice::RecordedRequest& request) {
            std::printf("request: %s %s%s%s\n", request.method.c_str(), request.path.c_str(),
                request.query.empty() ? "" : "?", devservice::maskedQuery(request.query).c_str());
            std::fflush(stdout);
            return answer ? answer(request) : devservice::ScriptedReply::success();
        };
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("tavicast-devservice");

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Local stand-in for the operator's services. Listens on 127.0.0.1 only, decrypts and verifies every "
        "request on its own, records it and answers as the client expects.\n"
        "Over HTTPS it makes a certificate authority and a server certificate at start and writes the "
        "authority to the CA file; start the client with TAVICAST_CA_FILE set to that file and "
        "TAVICAST_SERVICE_URL set to the printed base URL.\n"
        "What it holds (meetings, chat rooms, the relay's streams, the recorded requests) is shown as JSON at "
        "<base URL>/service/state.");
    parser.addHelpOption();
    const QCommandLineOption httpOption("http", "Serve plain HTTP instead of HTTPS.");
    const QCommandLineOption portOption(
        "port", "Port to listen on (default 0: any free port; the chosen one is printed).", "port", "0");
    const QCommandLineOption caOption("ca-file",
        "Where to write the certificate authority (PEM). Default: a temporary folder removed at exit.",
        "path");
    parser.addOption(httpOption);
    parser.addOption(portOption);
    parser.addOption(caOption);
    const QCommandLineOption autoScanOption("auto-scan",
        "Confirm every WeChat web-QR login by itself this many seconds after its code was handed out "
        "(default 0: only its confirm page does).",
        "seconds", "0");
    parser.addOption(autoScanOption);
    const QCommandLineOption autoPayOption("auto-pay",
        "Pay each account's newest membership order by itself this many seconds after it was created (an "
        "order the user switched past stays unpaid; default 0: only its pay page does).",
        "seconds", "0");
    parser.addOption(autoPayOption);
    const QCommandLineOption pusherOption(
        "pusher", "Co-broadcast seats of every meeting the room service makes (default 4).", "seats", "4");
    const QCommandLineOption durationOption("duration",
        "Seconds a meeting of the room service may run (default 7200).", "seconds", "7200");
    parser.addOption(pusherOption);
    parser.addOption(durationOption);
    parser.process(app);

    devservice::RoomServiceOptions rooms;
    bool pusherValid = false, durationValid = false;
    rooms.pusher = parser.value(pusherOption).toInt(&pusherValid);
    rooms.duration = parser.value(durationOption).toLongLong(&durationValid);
    if (!pusherValid || rooms.pusher < 0 || rooms.pusher > 8 || !durationValid || rooms.duration <= 0) {
        std::fprintf(stderr, "tavicast-devservice: invalid --pusher \"%s\" or --duration \"%s\"\n",
            qPrintable(parser.value(pusherOption)), qPrintable(parser.value(durationOption)));
        return 2;
    }
    rooms.log = [](const std::string& line) {
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    };

    bool autoScanValid = false;
    const int autoScan = parser.value(autoScanOption).toInt(&autoScanValid);
    if (!autoScanValid || autoScan < 0 || autoScan > 3600) {
        std::fprintf(stderr, "tavicast-devservice: invalid --auto-scan \"%s\"\n",
            qPrintable(parser.value(autoScanOption)));
        return 2;
    }

    bool autoPayValid = false;
    const int autoPay = parser.value(autoPayOption).toInt(&autoPayValid);
    if (!autoPayValid || autoPay < 0 || autoPay > 3600) {
        std::fprintf(stderr, "tavicast-devservice: invalid --auto-pay \"%s\"\n",
            qPrintable(parser.value(autoPayOption)));
        return 2;
    }

    bool portValid = false;
    const uint port = parser.value(portOption).toUInt(&portValid);
    if (!portValid || port > 65535) {
        std::fprintf(
            stderr, "tavicast-devservice: invalid port \"%s\"\n", qPrintable(parser.value(portOption)));
        return 2;
    }

    devservice::Service::Options options;
    options.https = !parser.isSet(httpOption);
    options.port = static_cast<quint16>(port);
    options.caFile = parser.value(caOption).toStdString();
    if (autoScan > 0 || autoPay > 0) {
        devservice::MembershipOptions membership;
        membership.webQrAutoScanMs = autoScan * 1000;
        membership.autoPayMs = autoPay * 1000;
        devservice::addMembershipRoutes(options.routes, membership);
    }
    const auto roomService = devservice::addRoomServiceRoutes(options.routes, rooms);
    logEveryRequest(options.routes);
    devservice::Service service(options);
    // Added after the logging: polling it would drown the log.
    devservice::addStatePage(service, roomService);
    std::string error;
    if (!service.start(&error)) {
        std::fprintf(stderr, "tavicast-devservice: %s\n", error.c_str());
        return 1;
    }

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, quitPipe) != 0) {
        std::perror("tavicast-devservice: socketpair");
        return 1;
    }
    QSocketNotifier quitNotifier(quitPipe[0], QSocketNotifier::Read);
    QObject::connect(&quitNotifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    struct sigaction action = {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : { SIGTERM, SIGINT, SIGHUP })
        sigaction(signalNumber, &action, nullptr);

    std::printf("base URL: %s\n", service.baseUrl().c_str());
    if (options.https)
        std::printf("CA file: %s\n", service.caFile().c_str());
    std::printf("%s", devservice::membershipDemoText().c_str());
    std::fflush(stdout);

    const int result = app.exec();
    service.stop();
    return result;
}
