#pragma once

#include <QApplication>

class SingleApplicationPrivate;

// A QApplication that keeps one primary instance per identity. The first start becomes the primary
// and listens on a local server named after a shared block; later starts are secondary instances that
// can send the primary messages, which the primary announces with receivedMessage().
//
// GUI thread only. A shared block that cannot be used ends the process with code 1, as the only
// sensible reaction at start-up; a primary whose process is gone is taken over by the next start.
class SingleApplication : public QApplication {
    Q_OBJECT
public:
    enum Mode {
        User = 0,
        PerUser = 1,
        NotifySecondary = 4,
        IgnoreVersion = 8,
        IgnorePath = 16,
    };

    SingleApplication(int& argc, char** argv, bool allowSecondary = false, int options = User,
        int timeout = 1000);
    ~SingleApplication() override;

    bool isPrimary() const;
    bool isSecondary() const;
    quint32 instanceId() const;
    bool sendMessage(const QByteArray& message, int timeout = 100);

    // Tests give the program an instance of its own: TAVICAST_TEST_INSTANCE names it (letters, digits, '-'
    // and '_', at most 64; anything else is ignored). Its "_<name>" enters the instance key and ends the
    // names of the program's other per-user blocks, so that a test's program neither meets nor blocks the
    // user's running client or another test. Empty when unset, as in production.
    static QString testInstanceSuffix();

signals:
    void instanceStarted();
    void receivedMessage(quint32 instanceId, QByteArray message);

private:
    friend class SingleApplicationPrivate;
    SingleApplicationPrivate* d;
};
