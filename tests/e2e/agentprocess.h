#pragma once

// One participant agent as a child process of a test: its own folders under the test's temporary folder,
// its control socket, and waits on its answers with deadlines.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QProcess>
#include <QThread>

#include <functional>
#include <memory>

// Ends a child as a session would, with SIGTERM; its exit code, or -1 when it crashed or had to be killed.
inline int terminateProcess(QProcess* process, int deadlineMs)
{
    if (!process || process->state() == QProcess::NotRunning)
        return process && process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
    process->terminate();
    if (!process->waitForFinished(deadlineMs)) {
        process->kill();
        process->waitForFinished(5000);
        return -1;
    }
    return process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
}

class AgentProcess {
public:
    AgentProcess(const QString& folder, const QString& name)
        : m_folder(folder + '/' + name)
        , m_socketPath(m_folder + QStringLiteral("/control.sock"))
        , m_name(name)
    {
        QDir().mkpath(m_folder);
    }
    ~AgentProcess() { stop(); }

    // Starts the agent with the service's address in its environment; false when it does not answer.
    bool start(const QString& program, const QString& serviceUrl, const QStringList& extra = {},
        const QProcessEnvironment& more = QProcessEnvironment())
    {
        m_process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TAVICAST_SERVICE_URL"), serviceUrl);
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        // No sound server here: the studio and the connections take their sound from test sources, unless
        // `more` says otherwise (an empty source: the machine's default).
        env.insert(QStringLiteral("TAVICAST_DESKTOP_AUDIO_SOURCE"), QStringLiteral("audiotestsrc is-live=true wave=silence"));
        env.insert(QStringLiteral("TAVICAST_AUDIO_SOURCE"), QStringLiteral("audiotestsrc is-live=true wave=sine"));
        for (const QString& name : more.keys())
            env.insert(name, more.value(name));
        m_process->setProcessEnvironment(env);
        m_process->setProcessChannelMode(QProcess::MergedChannels);
        m_process->setStandardOutputFile(m_folder + QStringLiteral("/agent.log"));
        m_process->start(program,
            QStringList { QStringLiteral("--data"), m_folder, QStringLiteral("--control"), m_socketPath,
                QStringLiteral("--instance"), m_name }
                + extra);
        if (!m_process->waitForStarted(10000))
            return false;
        return waitFor([this] { return connectControl(); }, 60000);
    }

    // Sends one command and returns its answer; an empty object when the agent did not answer in time. An
    // answer to an earlier command that came too late is passed over.
    QJsonObject send(const QJsonObject& request, int deadlineMs = 20000)
    {
        if (!m_socket || m_socket->state() != QLocalSocket::ConnectedState)
            return {};
        QJsonObject numbered = request;
        const int seq = ++m_seq;
        numbered.insert(QStringLiteral("seq"), seq);
        m_socket->write(QJsonDocument(numbered).toJson(QJsonDocument::Compact) + '\n');
        m_socket->flush();
        QDeadlineTimer deadline(deadlineMs);
        for (;;) {
            while (!m_socket->canReadLine() && !deadline.hasExpired()) {
                if (!m_socket->waitForReadyRead(50) && m_socket->state() != QLocalSocket::ConnectedState)
                    return {};
            }
            if (!m_socket->canReadLine())
                return {};
            QJsonObject answer = QJsonDocument::fromJson(m_socket->readLine()).object();
            if (answer.value(QStringLiteral("seq")).toInt() == seq) {
                answer.remove(QStringLiteral("seq"));
                return answer;
            }
        }
    }
    QJsonObject send(const char* command) { return send(QJsonObject { { QStringLiteral("cmd"), command } }); }

    // Asks `command` until `done` holds for its answer or the deadline passes; the last answer.
    QJsonObject poll(const char* command, const std::function<bool(const QJsonObject&)>& done, int deadlineMs = 60000)
    {
        QJsonObject answer;
        waitFor([&] {
            answer = send(command);
            return done(answer);
        },
            deadlineMs);
        return answer;
    }

    // Asks the agent to quit and waits for its end; the exit code, or -1 when it had to be killed.
    int stop()
    {
        if (!m_process || m_process->state() == QProcess::NotRunning)
            return m_process ? m_process->exitCode() : -1;
        send("quit");
        if (!m_process->waitForFinished(30000)) {
            m_process->kill();
            m_process->waitForFinished(5000);
            return -1;
        }
        return m_process->exitStatus() == QProcess::NormalExit ? m_process->exitCode() : -1;
    }

    // Ends the agent as the session would, with SIGTERM; the exit code, or -1 when it had to be killed.
    int terminate(int deadlineMs = 30000)
    {
        return terminateProcess(m_process.get(), deadlineMs);
    }

    QString name() const { return m_name; }
    QString folder() const { return m_folder; }
    // The files the client wrote under its folder `sub`, with their paths below it.
    QStringList filesUnder(const QString& sub) const
    {
        QStringList files;
        const QDir base(m_folder + '/' + sub);
        QDirIterator it(base.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << base.relativeFilePath(it.next());
        return files;
    }
    QString log() const
    {
        QFile file(m_folder + QStringLiteral("/agent.log"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll().right(4000)) : QString();
    }

    // Between tries the test's own event loop runs, for whatever the test keeps on it (sockets).
    static bool waitFor(const std::function<bool()>& done, int deadlineMs)
    {
        QDeadlineTimer deadline(deadlineMs);
        while (!done()) {
            if (deadline.hasExpired())
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(30);
        }
        return true;
    }

private:
    bool connectControl()
    {
        if (m_process->state() == QProcess::NotRunning)
            return true; // ended: send() reports it
        m_socket = std::make_unique<QLocalSocket>();
        m_socket->connectToServer(m_socketPath);
        return m_socket->waitForConnected(200);
    }

    QString m_folder;
    QString m_socketPath;
    QString m_name;
    std::unique_ptr<QProcess> m_process;
    int m_seq = 0;
    std::unique_ptr<QLocalSocket> m_socket;
};
