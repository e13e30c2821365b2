#include "controlserver.h"

#include <QFile>
#include <QJsonDocument>
#include <QLocalSocket>

namespace {

// Room for the largest answer's request side; requests are small.
constexpr qint64 kMaxLine = 1 << 20;

} // namespace

ControlServer::ControlServer(QObject* parent)
    : QObject(parent)
{
    connect(&m_server, &QLocalServer::newConnection, this, &ControlServer::onConnection);
}

bool ControlServer::listen(const QString& path, QString* error)
{
    QFile::remove(path);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server.listen(path)) {
        *error = QStringLiteral("cannot listen at %1: %2").arg(path, m_server.errorString());
        return false;
    }
    return true;
}

QJsonObject ControlServer::failure(const QString& error)
{
    return QJsonObject { { QStringLiteral("ok"), false }, { QStringLiteral("error"), error } };
}

void ControlServer::onConnection()
{
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { onReadable(socket); });
    }
}

void ControlServer::onReadable(QLocalSocket* socket)
{
    while (socket->canReadLine()) {
        const QByteArray line = socket->readLine(kMaxLine + 1);
        if (line.size() > kMaxLine || !line.endsWith('\n')) {
            socket->abort();
            return;
        }
        const QJsonObject answer = run(line);
        if (answer.isEmpty()) {
            socket->abort();
            return;
        }
        socket->write(QJsonDocument(answer).toJson(QJsonDocument::Compact) + '\n');
        socket->flush();
    }
    if (socket->bytesAvailable() > kMaxLine)
        socket->abort();
}

QJsonObject ControlServer::run(const QByteArray& line)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(line, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return {};
    const QJsonObject request = document.object();
    const QString name = request.value(QStringLiteral("cmd")).toString();
    const auto command = m_commands.find(name);
    QJsonObject answer = command == m_commands.end()
        ? failure(QStringLiteral("unknown command \"%1\"").arg(name))
        : command->second(request);
    if (!answer.contains(QStringLiteral("ok")))
        answer.insert(QStringLiteral("ok"), true);
    // The request's number comes back, so that a caller who gave up waiting never takes a late answer for
    // the next one.
    if (request.contains(QStringLiteral("seq")))
        answer.insert(QStringLiteral("seq"), request.value(QStringLiteral("seq")));
    return answer;
}
