#pragma once

// The local service as a child process of a test, started as run.sh starts it: HTTPS on a free loopback port,
// its certificate authority written to a file of the test's, its output in a log file beside it. What it
// holds is read over HTTPS from its state page.

#include "agentprocess.h"

#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QUrlQuery>

#include <memory>
#include <optional>

class ServiceProcess {
public:
    explicit ServiceProcess(const QString& folder)
        : m_folder(folder)
        , m_caFile(folder + QStringLiteral("/ca.pem"))
    {
    }
    ~ServiceProcess() { terminate(); }

    // Starts the program and waits for its base URL; false with the reason and its output when it gives none.
    bool start(const QString& program, const QStringList& extra, QString* error)
    {
        m_process = std::make_unique<QProcess>();
        m_process->setProcessChannelMode(QProcess::MergedChannels);
        m_process->setStandardOutputFile(logPath());
        m_process->start(program, QStringList { QStringLiteral("--ca-file"), m_caFile } + extra);
        if (!m_process->waitForStarted(10000)) {
            *error = QStringLiteral("the service did not start: ") + m_process->errorString();
            return false;
        }
        // The base URL is printed once it listens; the authority's file is written before that.
        AgentProcess::waitFor([this] {
            m_baseUrl = printed(QStringLiteral("base URL: "));
            return !m_baseUrl.isEmpty() || m_process->state() == QProcess::NotRunning;
        }, 60000);
        if (m_baseUrl.isEmpty()) {
            *error = QStringLiteral("the service gave no base URL: ") + log();
            return false;
        }
        m_ssl = QSslConfiguration::defaultConfiguration();
        QList<QSslCertificate> authorities = m_ssl.caCertificates();
        authorities << QSslCertificate::fromPath(m_caFile);
        m_ssl.setCaCertificates(authorities);
        return true;
    }

    QString baseUrl() const { return m_baseUrl; }
    QString caFile() const { return m_caFile; }
    QString logPath() const { return m_folder + QStringLiteral("/service.log"); }

    // The "result" of the state page, with only the sections named (comma-separated; empty: all); nothing when
    // the page did not answer in time or refused.
    std::optional<QJsonObject> state(const QString& only = QString(), int deadlineMs = 20000)
    {
        QUrl url(m_baseUrl + QStringLiteral("/service/state"));
        if (!only.isEmpty())
            url.setQuery(QUrlQuery { { QStringLiteral("only"), only } });
        QNetworkRequest request(url);
        request.setSslConfiguration(m_ssl);
        const std::unique_ptr<QNetworkReply> reply(m_network.get(request));
        if (!AgentProcess::waitFor([&reply] { return reply->isFinished(); }, deadlineMs)) {
            reply->abort();
            return std::nullopt;
        }
        if (reply->error() != QNetworkReply::NoError)
            return std::nullopt;
        const QJsonObject answer = QJsonDocument::fromJson(reply->readAll()).object();
        if (!answer.value(QStringLiteral("result")).isObject() || answer.value(QStringLiteral("errcode")).toInt(-1) != 0)
            return std::nullopt;
        return answer.value(QStringLiteral("result")).toObject();
    }

    // Ends the service with SIGTERM, as run.sh does; its exit code, or -1 when it had to be killed.
    int terminate(int deadlineMs = 30000)
    {
        return terminateProcess(m_process.get(), deadlineMs);
    }

    QString log() const
    {
        QFile file(logPath());
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll().right(4000)) : QString();
    }

private:
    // The rest of the first output line that starts with `prefix`; empty while there is none.
    QString printed(const QString& prefix) const
    {
        QFile file(logPath());
        if (!file.open(QIODevice::ReadOnly))
            return QString();
        while (!file.atEnd()) {
            const QString line = QString::fromUtf8(file.readLine());
            if (line.startsWith(prefix) && line.endsWith('\n'))
                return line.mid(prefix.size()).trimmed();
        }
        return QString();
    }

    QString m_folder;
    QString m_caFile;
    QString m_baseUrl;
    std::unique_ptr<QProcess> m_process;
    QNetworkAccessManager m_network;
    QSslConfiguration m_ssl;
};
