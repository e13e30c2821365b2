// Test helper: one instance of SingleApplication. Prints its role, then (as a primary) every started
// instance and every message it receives, one line each, until it is told to quit or 20 s pass.
//   singleapp_probe [--allow-secondary] [--options N] [--send TEXT]
#include "app/singleapplication.h"
#include "app/singleapplication_p.h"

#include <QTimer>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    bool allowSecondary = false;
    int options = SingleApplication::PerUser;
    const char* send = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--allow-secondary"))
            allowSecondary = true;
        else if (!std::strcmp(argv[i], "--options") && i + 1 < argc)
            options = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--send") && i + 1 < argc)
            send = argv[++i];
    }

    SingleApplication app(argc, argv, allowSecondary, options, 1000);
    if (app.isSecondary()) {
        std::printf("secondary %u\n", app.instanceId());
        std::fflush(stdout);
        if (send)
            return app.sendMessage(send, 1000) ? 0 : 2;
        return 0;
    }

    SingleApplicationPrivate names(&app);
    names.options = options;
    names.blockServerName();
    std::printf("primary %s\n", qPrintable(names.blockName));
    std::fflush(stdout);
    QObject::connect(&app, &SingleApplication::instanceStarted, [] {
        std::printf("started\n");
        std::fflush(stdout);
    });
    QObject::connect(&app, &SingleApplication::receivedMessage, [](quint32 id, const QByteArray& message) {
        std::printf("message %u %s\n", id, message.constData());
        std::fflush(stdout);
        if (message == "quit")
            QCoreApplication::quit();
    });
    QTimer::singleShot(20000, &app, &QCoreApplication::quit);
    return app.exec();
}
