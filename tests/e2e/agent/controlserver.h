#pragma once

#include <QJsonObject>
#include <QLocalServer>
#include <QObject>
#include <QString>

#include <functional>
#include <map>

class QLocalSocket;

// The agent's control socket: a Unix-domain stream socket at a path the test chooses. Each request is one
// line of JSON, {"cmd": <name>, ...}; each answer is one line of JSON with "ok" (bool) and, on failure,
// "error" (text). Commands run on the GUI thread, one at a time per connection, in the order they came.
// A line longer than the limit, or one that is not a JSON object, closes that connection only.
class ControlServer : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<QJsonObject(const QJsonObject& request)>;

    explicit ControlServer(QObject* parent = nullptr);

    // One handler per name; a second one for a name is a mistake of the caller and is refused.
    bool addCommand(const QString& name, Handler handler) { return m_commands.emplace(name, std::move(handler)).second; }
    // Listens at `path` (an old socket file there is removed first); false with the reason in `error`.
    bool listen(const QString& path, QString* error);

    static QJsonObject failure(const QString& error);

private:
    void onConnection();
    void onReadable(QLocalSocket* socket);
    QJsonObject run(const QByteArray& line);

    QLocalServer m_server;
    std::map<QString, Handler> m_commands;
};
