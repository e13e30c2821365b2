// Process level: a whole meeting with a host, two viewers (each an agent process with folders of its own) and
// a phone (a bare chat-room member inside the test) against the local service (its own process, over HTTPS),
// one seat for co-broadcasting. Every step is checked by what it really did: pictures in rendered frames,
// texts in the chat lists, commands the phone received, what the service holds (read from its state page).
#include "agentprocess.h"
#include "serviceprocess.h"

#include "support/colourbars.h"
#include "support/testpattern_reader.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcessEnvironment>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrlQuery>
#include <QWebSocket>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <set>

namespace {

using AgentPtr = std::unique_ptr<AgentProcess>;

QString text(const QJsonObject& object, const char* key) { return object.value(QLatin1String(key)).toString(); }
std::string dump(const QJsonObject& object) { return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString(); }

QJsonObject request(const char* command, std::initializer_list<std::pair<const char*, QJsonValue>> members = {})
{
    QJsonObject object { { QStringLiteral("cmd"), QString::fromLatin1(command) } };
    for (const auto& [name, value] : members)
        object.insert(QString::fromLatin1(name), value);
    return object;
}

bool ok(const QJsonObject& answer) { return answer.value(QStringLiteral("ok")).toBool(); }

QImage pictureOf(const QJsonObject& frame)
{
    return QImage::fromData(QByteArray::fromBase64(text(frame, "png").toLatin1()), "PNG")
        .convertToFormat(QImage::Format_RGB32);
}

// The picture of the first visible renderer that has one.
QImage shownPicture(const QJsonObject& answer)
{
    for (const QJsonValue& value : answer.value(QStringLiteral("frames")).toArray()) {
        const QJsonObject frame = value.toObject();
        if (frame.value(QStringLiteral("visible")).toBool() && !text(frame, "png").isEmpty())
            return pictureOf(frame);
    }
    return {};
}

// The camera's test pattern, whole, in `area` of the picture.
bool showsCamera(const QImage& image, const QRect& area)
{
    const QImage part = image.copy(area).convertToFormat(QImage::Format_RGB32);
    if (part.isNull() || part.width() < 64 || part.height() < 16)
        return false;
    return testpattern_reader::readBgrx(part.constBits(), part.bytesPerLine(), part.width(), part.height()).has_value();
}

// The upper half of a 640 x 480 test pattern placed at the picture's top-left corner (all of it that a
// 360-line picture holds): its two upper quadrants in their colours.
bool showsCameraTopLeft(const QImage& image)
{
    namespace tp = capture::testpattern;
    if (image.width() < 640 || image.height() < 240)
        return false;
    const int top = tp::bandTop(480);
    for (int quadrant = 0; quadrant < 2; ++quadrant) {
        const int cx = quadrant ? 480 : 160;
        const int cy = top / 2;
        const testpattern_reader::Average seen
            = testpattern_reader::averageBgrx(image.constBits(), image.bytesPerLine(), cx - 40, cy - 30, cx + 40, cy + 30);
        if (!testpattern_reader::near(seen, tp::quadrantColour(quadrant), 48))
            return false;
    }
    return true;
}

// The pattern fitted into a tile, its aspect kept, on black.
bool tileShowsCamera(const QImage& tile)
{
    if (tile.isNull())
        return false;
    QSize fitted(640, 480);
    fitted.scale(tile.size(), Qt::KeepAspectRatio);
    const QRect area(QPoint((tile.width() - fitted.width()) / 2, (tile.height() - fitted.height()) / 2), fitted);
    namespace tp = capture::testpattern;
    const QImage part = tile.copy(area).convertToFormat(QImage::Format_RGB32);
    const int h = part.height(), w = part.width();
    const int rows[2] = { tp::bandTop(h) / 2, (tp::bandBottom(h) + h) / 2 };
    for (int quadrant = 0; quadrant < 4; ++quadrant) {
        const int cx = quadrant % 2 ? w * 3 / 4 : w / 4;
        const int cy = rows[quadrant / 2];
        const int sx = qMax(1, w / 16), sy = qMax(1, h / 16);
        const auto seen = testpattern_reader::averageBgrx(part.constBits(), part.bytesPerLine(), cx - sx, cy - sy, cx + sx, cy + sy);
        if (!testpattern_reader::near(seen, tp::quadrantColour(quadrant), 56))
            return false;
    }
    return true;
}

// How many chat items of the answer hold `wanted` in their plain text.
int chatCount(const QJsonObject& answer, const QString& wanted)
{
    int count = 0;
    for (const QJsonValue& item : answer.value(QStringLiteral("items")).toArray()) {
        bool found = false;
        for (const QJsonValue& plain : item.toObject().value(QStringLiteral("plain")).toArray())
            found |= plain.toString().contains(wanted);
        count += found ? 1 : 0;
    }
    return count;
}

QJsonObject chatItem(const QJsonObject& answer, const QString& wanted)
{
    for (const QJsonValue& item : answer.value(QStringLiteral("items")).toArray()) {
        for (const QJsonValue& plain : item.toObject().value(QStringLiteral("plain")).toArray()) {
            if (plain.toString().contains(wanted))
                return item.toObject();
        }
    }
    return {};
}

QJsonArray rowsOf(const QJsonObject& answer) { return answer.value(QStringLiteral("rows")).toArray(); }

QJsonObject rowOf(const QJsonObject& answer, const QString& userId)
{
    for (const QJsonValue& row : rowsOf(answer)) {
        if (text(row.toObject(), "userId") == userId)
            return row.toObject();
    }
    return {};
}

bool hasMessage(const QJsonObject& answer, const QString& wanted)
{
    for (const QJsonValue& message : answer.value(QStringLiteral("messages")).toArray()) {
        if (text(message.toObject(), "text").contains(wanted))
            return true;
    }
    return false;
}

bool contains(const QJsonArray& ids, const QString& id)
{
    for (const QJsonValue& value : ids) {
        if (value.toString() == id)
            return true;
    }
    return false;
}

// A phone in the meeting's chat room: joined through the room's own join call, connected with device
// "Phone", keeping every event it receives. Lives on the test's thread; its events arrive while the test
// polls.
class Phone {
public:
    bool join(const QString& base, const QString& caFile, const QString& roomId, const QString& password, QString* error)
    {
        m_ssl = QSslConfiguration::defaultConfiguration();
        QList<QSslCertificate> authorities = m_ssl.caCertificates();
        authorities << QSslCertificate::fromPath(caFile);
        m_ssl.setCaCertificates(authorities);

        QNetworkAccessManager network;
        QNetworkRequest post(QUrl(base + QStringLiteral("/chat/room/join")));
        post.setSslConfiguration(m_ssl);
        post.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
        QNetworkReply* reply = network.post(post,
            QJsonDocument(QJsonObject { { QStringLiteral("room_id"), roomId }, { QStringLiteral("password"), password } })
                .toJson(QJsonDocument::Compact));
        if (!AgentProcess::waitFor([reply] { return reply->isFinished(); }, 60000)) {
            *error = QStringLiteral("the join call did not finish");
            return false;
        }
        const QJsonObject answer = QJsonDocument::fromJson(reply->readAll()).object();
        reply->deleteLater();
        const QJsonObject result = answer.value(QStringLiteral("result")).toObject();
        token = text(result, "token");
        userId = QString::number(result.value(QStringLiteral("user_id")).toVariant().toLongLong());
        if (token.isEmpty()) {
            *error = QStringLiteral("join refused: ") + QString::fromUtf8(QJsonDocument(answer).toJson());
            return false;
        }
        QUrl url(base);
        url.setScheme(url.scheme() == QLatin1String("https") ? QStringLiteral("wss") : QStringLiteral("ws"));
        url.setPath(QStringLiteral("/chat"));
        QUrlQuery query;
        query.addQueryItem(QStringLiteral("room"), roomId);
        query.addQueryItem(QStringLiteral("token"), token);
        query.addQueryItem(QStringLiteral("name"), QString::fromUtf8("手机"));
        query.addQueryItem(QStringLiteral("device"), QStringLiteral("Phone"));
        url.setQuery(query);
        m_socket.setSslConfiguration(m_ssl);
        QObject::connect(&m_socket, &QWebSocket::textMessageReceived, [this](const QString& frame) {
            events.append(QJsonDocument::fromJson(frame.toUtf8()).object());
        });
        m_socket.open(url);
        if (!AgentProcess::waitFor([this] { return m_socket.state() == QAbstractSocket::ConnectedState; }, 60000)) {
            *error = QStringLiteral("the chat socket did not open: ") + m_socket.errorString();
            return false;
        }
        return true;
    }

    void sendCommand(const QJsonObject& command)
    {
        m_socket.sendTextMessage(QString::fromUtf8(QJsonDocument(QJsonObject { { QStringLiteral("type"), QStringLiteral("cmd") },
            { QStringLiteral("command"), QString::fromUtf8(QJsonDocument(command).toJson(QJsonDocument::Compact)) } })
                                                      .toJson(QJsonDocument::Compact)));
    }

    // The commands received so far, parsed.
    QList<QJsonObject> commands() const
    {
        QList<QJsonObject> found;
        for (const QJsonObject& event : events) {
            if (text(event, "event") == QLatin1String("cmd"))
                found << QJsonDocument::fromJson(text(event, "command").toUtf8()).object();
        }
        return found;
    }
    QStringList texts() const
    {
        QStringList found;
        for (const QJsonObject& event : events) {
            if (text(event, "event") == QLatin1String("text"))
                found << text(event, "text");
        }
        return found;
    }

    void close() { m_socket.close(); }

    QString token;
    QString userId;
    QList<QJsonObject> events;

private:
    QSslConfiguration m_ssl;
    QWebSocket m_socket;
};

QString idText(const QJsonValue& value)
{
    return value.isString() ? value.toString() : QString::number(value.toVariant().toLongLong());
}

bool pollUntil(const std::function<bool()>& done, int deadlineMs = 60000) { return AgentProcess::waitFor(done, deadlineMs); }

// The entry of the state's `section` whose `member` is `value`; empty when there is none.
QJsonObject entryOf(const QJsonObject& state, const char* section, const char* member, const QString& value)
{
    for (const QJsonValue& entry : state.value(QLatin1String(section)).toArray()) {
        if (idText(entry.toObject().value(QLatin1String(member))) == value)
            return entry.toObject();
    }
    return {};
}
QJsonObject meetingIn(const QJsonObject& state, const QString& key) { return entryOf(state, "meetings", "meetting_key", key); }
QJsonObject roomIn(const QJsonObject& state, const QString& roomId) { return entryOf(state, "chat_rooms", "room_id", roomId); }

// Whether the room stands and every member of it passes `check`.
bool everyMember(const QJsonObject& room, const std::function<bool(const QJsonObject&)>& check)
{
    const QJsonArray members = room.value(QStringLiteral("members")).toArray();
    return !room.isEmpty() && std::all_of(members.begin(), members.end(), [&](const QJsonValue& m) { return check(m.toObject()); });
}

class MeetingE2E : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_service = std::make_unique<ServiceProcess>(m_dir.path());
        QString error;
        // One co-broadcast seat.
        ASSERT_TRUE(m_service->start(QStringLiteral(DEVSERVICE), { QStringLiteral("--pusher"), QStringLiteral("1") }, &error))
            << error.toStdString();
    }

    // Each process's logs stay beside the test when it failed; the screenshots are kept in every case.
    void TearDown() override
    {
        m_phone.close();
        for (AgentProcess* agent : m_agents)
            agent->terminate();
        if (m_service)
            m_service->terminate();
        if (!HasFailure())
            return;
        if (m_service) {
            const QString kept = QStringLiteral(ARTEFACT_DIR "/meeting_e2e_service.log");
            QFile::remove(kept);
            QFile::copy(m_service->logPath(), kept);
        }
        for (AgentProcess* agent : m_agents) {
            const QString name = agent->name();
            const QString kept = QStringLiteral(ARTEFACT_DIR "/meeting_e2e_%1.log").arg(name);
            QFile::remove(kept);
            QFile::copy(agent->folder() + QStringLiteral("/agent.log"), kept);
            QDir logs(agent->folder() + QStringLiteral("/cfg/log"));
            for (const QString& file : logs.entryList({ QStringLiteral("*.log") }, QDir::Files)) {
                const QString copy = QStringLiteral(ARTEFACT_DIR "/meeting_e2e_%1_%2").arg(name, file);
                QFile::remove(copy);
                QFile::copy(logs.filePath(file), copy);
            }
        }
    }

    QString serviceUrl() const { return m_service->baseUrl(); }

    // Starts an agent signed in as `account`, at 640 x 360 and 15 frames a second; the fixture keeps it.
    AgentProcess* start(const char* name, const char* account)
    {
        m_owned.push_back(std::make_unique<AgentProcess>(m_dir.path(), QString::fromLatin1(name)));
        AgentProcess* agent = m_owned.back().get();
        QProcessEnvironment env;
        env.insert(QStringLiteral("TAVICAST_CA_FILE"), m_service->caFile());
        env.insert(QStringLiteral("TAVICAST_SYNTHETIC_CAMERA"), QStringLiteral("Tavicast Test Camera"));
        const bool started = agent->start(QStringLiteral(AGENT), serviceUrl(),
            { QStringLiteral("--account"), QString::fromLatin1(account), QStringLiteral("--password"),
                QString::fromLatin1(account) + QStringLiteral("1234"), QStringLiteral("--video-size"),
                QStringLiteral("640x360"), QStringLiteral("--video-fps"), QStringLiteral("15") },
            env);
        m_agents << agent;
        EXPECT_TRUE(started) << name << ": " << agent->log().toStdString();
        const QJsonObject signedIn = agent->poll("account", [](const QJsonObject& answer) {
            return answer.value(QStringLiteral("signedIn")).toBool();
        });
        EXPECT_TRUE(signedIn.value(QStringLiteral("signedIn")).toBool()) << name << ": " << agent->log().toStdString();
        return agent;
    }

    // The host's meeting, live; its key.
    QString create(AgentProcess& host, const QString& password)
    {
        const QJsonObject created
            = host.send(request("create", { { "title", QString::fromUtf8("端到端会议") }, { "password", password } }));
        EXPECT_TRUE(ok(created)) << dump(created);
        const QJsonObject live = host.poll("meeting", [](const QJsonObject& answer) {
            return answer.value(QStringLiteral("running")).toBool() && answer.value(QStringLiteral("streaming")).toBool();
        }, 90000);
        EXPECT_TRUE(live.value(QStringLiteral("streaming")).toBool()) << dump(host.send("messages")) << host.log().toStdString();
        return text(live, "key");
    }

    QJsonObject join(AgentProcess& viewer, const QString& key, const QString& name, const QString& password)
    {
        return viewer.send(request("join", { { "key", key }, { "name", name }, { "password", password } }));
    }

    static bool inMeeting(AgentProcess& agent)
    {
        const QJsonObject meeting = agent.poll("meeting", [](const QJsonObject& answer) {
            return answer.value(QStringLiteral("running")).toBool() && !text(answer, "selfId").isEmpty()
                && text(answer, "selfId") != QLatin1String("0");
        }, 90000);
        return meeting.value(QStringLiteral("running")).toBool();
    }

    // A picture the agent shows that passes `check`, within the deadline; the last picture seen.
    static QImage frameWhere(AgentProcess& agent, const std::function<bool(const QImage&)>& check, int deadlineMs = 60000)
    {
        QImage last;
        agent.poll("frames", [&](const QJsonObject& answer) {
            last = shownPicture(answer);
            return !last.isNull() && check(last);
        }, deadlineMs);
        return last;
    }

    void screenshots(const char* step, std::initializer_list<AgentProcess*> agents)
    {
        for (AgentProcess* agent : agents) {
            const QJsonObject shot = agent->send("screenshot");
            const QImage image = pictureOf(shot);
            EXPECT_FALSE(image.isNull()) << agent->name().toStdString() << " at " << step;
            image.save(QStringLiteral(ARTEFACT_DIR "/meeting_e2e_%1_%2.png").arg(QString::fromLatin1(step), agent->name()));
        }
    }

    // Reads the service's state (only the sections named) until `done` holds for it or the deadline passes;
    // a read that fails counts as not yet. The last state read stays in m_state.
    bool serviceShows(const char* only, const std::function<bool(const QJsonObject&)>& done, int deadlineMs = 60000)
    {
        return pollUntil([&] {
            const std::optional<QJsonObject> state = m_service->state(QString::fromLatin1(only));
            if (!state)
                return false;
            m_state = *state;
            return done(m_state);
        }, deadlineMs);
    }

    // The requests the service recorded, oldest first; empty when its page did not answer.
    QJsonArray recordedRequests()
    {
        const std::optional<QJsonObject> state = m_service->state(QStringLiteral("requests"));
        EXPECT_TRUE(state.has_value()) << "the service's state page did not answer";
        return state ? state->value(QStringLiteral("requests")).toArray() : QJsonArray();
    }

    // The deletions the service was asked for, as it received them.
    std::string deletions()
    {
        std::string all;
        for (const QJsonValue& value : recordedRequests()) {
            const QJsonObject recorded = value.toObject();
            if (text(recorded, "path").contains(QStringLiteral("deleteMeetting")))
                all += (text(recorded, "path") + ' ' + text(recorded, "plain_body") + '\n').toStdString();
        }
        return all;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<ServiceProcess> m_service;
    QJsonObject m_state;
    std::vector<AgentPtr> m_owned;
    QList<AgentProcess*> m_agents;
    Phone m_phone;
};

TEST_F(MeetingE2E, HostTwoViewersAndAPhoneThroughAWholeMeeting)
{
    AgentProcess* host = start("host", "member");
    AgentProcess* a = start("viewerA", "demo");
    AgentProcess* b = start("viewerB", "lifetime");
    ASSERT_FALSE(HasFailure());

    // 1. An open meeting: live in the service with its room, the host in the room.
    const QString key = create(*host, QString());
    ASSERT_FALSE(key.isEmpty());
    QJsonObject live;
    ASSERT_TRUE(serviceShows("meetings", [&](const QJsonObject& state) {
        live = meetingIn(state, key);
        return live.value(QStringLiteral("started")).toBool() && !text(live, "room_id").isEmpty() && !text(live, "room_pwd").isEmpty();
    })) << "the service holds no live meeting " << key.toStdString() << ": " << dump(m_state);
    const QString roomId = text(live, "room_id");
    const QString roomPwd = text(live, "room_pwd");
    ASSERT_TRUE(serviceShows("chat_rooms", [&](const QJsonObject& state) {
        const QJsonArray members = roomIn(state, roomId).value(QStringLiteral("members")).toArray();
        return std::any_of(members.begin(), members.end(), [](const QJsonValue& m) {
            return m.toObject().value(QStringLiteral("owner")).toBool() && m.toObject().value(QStringLiteral("connected")).toBool();
        });
    })) << "the host is not in room " << roomId.toStdString() << ": " << dump(m_state);
    std::set<QString> streams;
    for (const QJsonValue& streamer : live.value(QStringLiteral("streamers")).toArray())
        streams.insert(idText(streamer.toObject().value(QStringLiteral("stream_id"))));
    ASSERT_FALSE(streams.empty()) << dump(live);
    const QString hostId = text(host->send("meeting"), "selfId");

    // 2. A, B and the phone join; both viewers watch the bars move; the lists.
    ASSERT_TRUE(ok(join(*a, key, QString::fromUtf8("观众甲"), QString())));
    ASSERT_TRUE(ok(join(*b, key, QString::fromUtf8("观众乙"), QString())));
    ASSERT_TRUE(inMeeting(*a)) << dump(a->send("messages")) << a->log().toStdString();
    ASSERT_TRUE(inMeeting(*b)) << dump(b->send("messages")) << b->log().toStdString();
    const QString aId = text(a->send("meeting"), "selfId");
    const QString bId = text(b->send("meeting"), "selfId");
    QString error;
    ASSERT_TRUE(m_phone.join(serviceUrl(), m_service->caFile(), roomId, roomPwd, &error))
        << error.toStdString();
    for (AgentProcess* viewer : { a, b }) {
        SCOPED_TRACE(viewer->name().toStdString());
        const QImage first = frameWhere(*viewer, colourbars::showsBars, 90000);
        ASSERT_TRUE(colourbars::showsBars(first)) << viewer->log().toStdString();
        const std::optional<int> square = colourbars::squareCentre(first);
        const QImage later = frameWhere(*viewer, [&](const QImage& image) {
            const std::optional<int> now = colourbars::squareCentre(image);
            return colourbars::showsBars(image) && now && square && std::abs(*now - *square) > 4;
        });
        EXPECT_NE(colourbars::squareCentre(later), square);
    }
    const struct {
        AgentProcess* agent;
        QString self;
    } lists[] = { { host, QString() }, { a, QString::fromUtf8("观众甲 (我)") }, { b, QString::fromUtf8("观众乙 (我)") } };
    for (const auto& list : lists) {
        SCOPED_TRACE(list.agent->name().toStdString());
        const QJsonObject rows = list.agent->poll("rows", [&](const QJsonObject& answer) {
            return !rowOf(answer, m_phone.userId).isEmpty() && !rowOf(answer, aId).isEmpty() && !rowOf(answer, bId).isEmpty()
                && !rowOf(answer, hostId).isEmpty();
        });
        const QJsonObject hostRow = rowOf(rows, hostId);
        EXPECT_TRUE(hostRow.value(QStringLiteral("host")).toBool()) << dump(rows);
        for (const QJsonValue& row : rowsOf(rows)) {
            const QJsonObject other = row.toObject();
            if (other != hostRow && other.value(QStringLiteral("visible")).toBool()) {
                EXPECT_FALSE(other.value(QStringLiteral("host")).toBool()) << dump(rows);
                EXPECT_LT(hostRow.value(QStringLiteral("top")).toInt(), other.value(QStringLiteral("top")).toInt()) << dump(rows);
            }
        }
        const QJsonObject phoneRow = rowOf(rows, m_phone.userId);
        EXPECT_EQ(text(phoneRow, "device"), QStringLiteral("Phone"));
        EXPECT_TRUE(text(phoneRow, "icon").contains(QStringLiteral("member_type_phone"))) << dump(phoneRow);
        if (!list.self.isEmpty()) {
            int marked = 0;
            for (const QJsonValue& row : rowsOf(rows))
                marked += text(row.toObject(), "name") == list.self ? 1 : 0;
            EXPECT_EQ(marked, 1) << dump(rows);
        }
    }
    screenshots("step2", { host, a, b });

    // 3. Chat both ways: an emoticon code becomes its picture, once in every list; markup shows literally.
    const QString greeting = QString::fromUtf8("你好呀[\\haha]");
    ASSERT_TRUE(ok(a->send(request("chat", { { "text", greeting } }))));
    ASSERT_TRUE(ok(host->send(request("chat", { { "text", QStringLiteral("<b>x</b>") } }))));
    for (AgentProcess* agent : { host, a, b }) {
        SCOPED_TRACE(agent->name().toStdString());
        const QJsonObject items = agent->poll("chatitems", [](const QJsonObject& answer) {
            return chatCount(answer, QString::fromUtf8("你好呀")) >= 1 && chatCount(answer, QStringLiteral("<b>x</b>")) >= 1;
        });
        EXPECT_EQ(chatCount(items, QString::fromUtf8("你好呀")), 1) << dump(items);
        EXPECT_EQ(chatCount(items, QStringLiteral("<b>x</b>")), 1) << dump(items);
        const QJsonArray images = chatItem(items, QString::fromUtf8("你好呀")).value(QStringLiteral("images")).toArray();
        ASSERT_EQ(images.size(), 1) << dump(items);
        EXPECT_TRUE(images[0].toString().contains(QStringLiteral("emoji_haha"))) << dump(items);
        EXPECT_TRUE(chatItem(items, QStringLiteral("<b>x</b>")).value(QStringLiteral("images")).toArray().isEmpty());
    }
    EXPECT_TRUE(pollUntil([&] { return m_phone.texts().contains(QStringLiteral("<b>x</b>")); }));

    // 4. Silence all: A's text reaches nobody; lifted, it reaches everyone.
    ASSERT_TRUE(host->send(request("silenceall", { { "on", true } })).value(QStringLiteral("checked")).toBool());
    const QString hushed = QString::fromUtf8("禁言中的话");
    const QString marker = QString::fromUtf8("主持人说");
    ASSERT_TRUE(serviceShows("chat_rooms", [&](const QJsonObject& state) {
        return everyMember(roomIn(state, roomId), [](const QJsonObject& m) {
            return m.value(QStringLiteral("owner")).toBool() || m.value(QStringLiteral("shutup")).toInt() != 0;
        });
    })) << "the room did not silence its members: " << dump(m_state);
    ASSERT_TRUE(ok(a->send(request("chat", { { "text", hushed } }))));
    ASSERT_TRUE(ok(host->send(request("chat", { { "text", marker } }))));
    for (AgentProcess* agent : { host, a, b }) {
        const QJsonObject items = agent->poll("chatitems", [&](const QJsonObject& answer) { return chatCount(answer, marker) == 1; });
        EXPECT_EQ(chatCount(items, marker), 1) << agent->name().toStdString();
        EXPECT_EQ(chatCount(items, hushed), 0) << agent->name().toStdString();
    }
    EXPECT_TRUE(pollUntil([&] { return m_phone.texts().contains(marker); }));
    EXPECT_FALSE(m_phone.texts().contains(hushed));
    ASSERT_FALSE(host->send(request("silenceall", { { "on", false } })).value(QStringLiteral("checked")).toBool(true));
    const QString freed = QString::fromUtf8("解禁后的话");
    ASSERT_TRUE(serviceShows("chat_rooms", [&](const QJsonObject& state) {
        return everyMember(roomIn(state, roomId), [](const QJsonObject& m) { return m.value(QStringLiteral("shutup")).toInt(-1) == 0; });
    })) << dump(m_state);
    ASSERT_TRUE(ok(a->send(request("chat", { { "text", freed } }))));
    for (AgentProcess* agent : { host, a, b }) {
        const QJsonObject items = agent->poll("chatitems", [&](const QJsonObject& answer) { return chatCount(answer, freed) == 1; });
        EXPECT_EQ(chatCount(items, freed), 1) << agent->name().toStdString();
    }
    EXPECT_TRUE(pollUntil([&] { return m_phone.texts().contains(freed); }));

    // 5. The host's camera, 320 x 240, bottom-right in the viewers' pictures.
    ASSERT_TRUE(ok(host->send(request("camera", { { "on", true } }))));
    ASSERT_TRUE(host->poll("cameraon", [](const QJsonObject& answer) { return answer.value(QStringLiteral("source")).toBool(); })
                    .value(QStringLiteral("source"))
                    .toBool())
        << dump(host->send("messages"));
    const auto bottomRight = [](const QImage& image) {
        return showsCamera(image, QRect(image.width() / 2, image.height() / 3, image.width() / 2, image.height() * 2 / 3));
    };
    for (AgentProcess* viewer : { a, b }) {
        const QImage seen = frameWhere(*viewer, bottomRight);
        EXPECT_TRUE(bottomRight(seen)) << viewer->name().toStdString();
        seen.save(QStringLiteral(ARTEFACT_DIR "/meeting_e2e_step5_%1_frame.png").arg(viewer->name()));
    }

    // 6. One seat: A accepts at once and takes it, B a moment later and is waiting-listed, then ended.
    ASSERT_TRUE(ok(a->send(request("answer", { { "match", QString::fromUtf8("连麦") }, { "answer", 1 } }))));
    ASSERT_TRUE(ok(b->send(request("answer", { { "match", QString::fromUtf8("连麦") }, { "answer", 1 }, { "delayMs", 3000 } }))));
    ASSERT_TRUE(ok(host->send(request("row", { { "userId", aId }, { "button", QStringLiteral("video") } }))));
    ASSERT_TRUE(ok(host->send(request("row", { { "userId", bId }, { "button", QStringLiteral("video") } }))));
    const QJsonObject seated = host->poll("cobroadcast", [&](const QJsonObject& answer) {
        return contains(answer.value(QStringLiteral("members")).toArray(), aId)
            && contains(answer.value(QStringLiteral("waiting")).toArray(), bId);
    });
    EXPECT_TRUE(contains(seated.value(QStringLiteral("members")).toArray(), aId)) << dump(seated);
    EXPECT_TRUE(contains(seated.value(QStringLiteral("waiting")).toArray(), bId)) << dump(seated);
    EXPECT_FALSE(contains(seated.value(QStringLiteral("members")).toArray(), bId)) << dump(seated);
    // A's camera in the host's tile of A.
    QImage tile;
    host->poll("tiles", [&](const QJsonObject& answer) {
        for (const QJsonValue& value : answer.value(QStringLiteral("tiles")).toArray()) {
            const QJsonObject entry = value.toObject();
            if (text(entry, "userId") == aId && entry.contains(QStringLiteral("picture")))
                tile = pictureOf(entry.value(QStringLiteral("picture")).toObject());
        }
        return tileShowsCamera(tile);
    }, 90000);
    tile.save(QStringLiteral(ARTEFACT_DIR "/meeting_e2e_step6_host_tile_A.png"));
    EXPECT_TRUE(tileShowsCamera(tile)) << dump(host->send("messages"));
    // A's tile at B.
    const QJsonObject bTiles = b->poll("tiles", [&](const QJsonObject& answer) {
        for (const QJsonValue& value : answer.value(QStringLiteral("tiles")).toArray()) {
            if (text(value.toObject(), "userId") == aId)
                return true;
        }
        return false;
    });
    EXPECT_TRUE(dump(bTiles).find(aId.toStdString()) != std::string::npos) << dump(bTiles);
    // B announced its stream and was then ended: "End.Lianmai" to B after B's announcement, B's push over,
    // nobody waiting.
    int announced = -1, ended = -1;
    EXPECT_TRUE(pollUntil([&] {
        const QList<QJsonObject> commands = m_phone.commands();
        for (int i = 0; i < commands.size(); ++i) {
            const QJsonObject& command = commands[i];
            if (announced < 0 && text(command, "type") == QLatin1String("stream_url") && idText(command.value(QStringLiteral("user_id"))) == bId
                && !idText(command.value(QStringLiteral("url"))).isEmpty() && idText(command.value(QStringLiteral("url"))) != QLatin1String("0"))
                announced = i;
            if (ended < 0 && text(command, "type") == QLatin1String("End.Lianmai") && idText(command.value(QStringLiteral("student_id"))) == bId)
                ended = i;
        }
        return announced >= 0 && ended >= 0;
    }, 90000)) << "B's announcement or its End.Lianmai did not come";
    EXPECT_LT(announced, ended);
    const QJsonObject bEnded = b->poll("cobroadcast", [](const QJsonObject& answer) {
        return !answer.value(QStringLiteral("pushing")).toBool();
    });
    EXPECT_FALSE(bEnded.value(QStringLiteral("pushing")).toBool(true)) << dump(bEnded);
    const QJsonObject noWait = host->poll("cobroadcast", [](const QJsonObject& answer) {
        return answer.value(QStringLiteral("waiting")).toArray().isEmpty();
    });
    EXPECT_TRUE(noWait.value(QStringLiteral("waiting")).toArray().isEmpty()) << dump(noWait);
    EXPECT_TRUE(contains(noWait.value(QStringLiteral("members")).toArray(), aId)) << dump(noWait);

    // The host takes A off the scene and embeds it again from its tile's menu: B sees A's camera top-left.
    const auto lastMenu = [](AgentProcess& agent, int count) {
        QJsonObject menu;
        agent.poll("menus", [&](const QJsonObject& answer) {
            const QJsonArray menus = answer.value(QStringLiteral("menus")).toArray();
            if (menus.size() < count)
                return false;
            menu = menus[count - 1].toObject();
            return true;
        });
        return menu;
    };
    int hostMenus = 0;
    if (contains(host->send("cobroadcast").value(QStringLiteral("embedded")).toArray(), aId)) {
        ASSERT_TRUE(ok(host->send(request("tilemenu", { { "userId", aId }, { "item", QString::fromUtf8("取消嵌入") } }))));
        EXPECT_EQ(text(lastMenu(*host, ++hostMenus), "chosen"), QString::fromUtf8("取消嵌入"));
        const QImage without = frameWhere(*b, [](const QImage& image) { return !showsCameraTopLeft(image); });
        EXPECT_FALSE(showsCameraTopLeft(without));
    }
    ASSERT_TRUE(ok(host->send(request("tilemenu", { { "userId", aId }, { "item", QString::fromUtf8("嵌入到场景") } }))));
    const QJsonObject embedMenu = lastMenu(*host, ++hostMenus);
    EXPECT_EQ(text(embedMenu, "chosen"), QString::fromUtf8("嵌入到场景")) << dump(embedMenu);
    EXPECT_TRUE(contains(host->poll("cobroadcast", [&](const QJsonObject& answer) {
        return contains(answer.value(QStringLiteral("embedded")).toArray(), aId);
    }).value(QStringLiteral("embedded")).toArray(), aId));
    const QImage withA = frameWhere(*b, showsCameraTopLeft, 90000);
    withA.save(QStringLiteral(ARTEFACT_DIR "/meeting_e2e_step6_viewerB_frame.png"));
    EXPECT_TRUE(showsCameraTopLeft(withA));
    screenshots("step6", { host, a, b });
    // A ends from its own tile's menu; the host is told.
    ASSERT_TRUE(ok(a->send(request("tilemenu", { { "userId", aId }, { "item", QString::fromUtf8("结束连麦") } }))));
    EXPECT_EQ(text(lastMenu(*a, 1), "chosen"), QString::fromUtf8("结束连麦"));
    const QJsonObject told = host->poll("messages", [](const QJsonObject& answer) {
        return hasMessage(answer, QString::fromUtf8("观众甲 断开了连麦"));
    });
    EXPECT_TRUE(hasMessage(told, QString::fromUtf8("观众甲 断开了连麦"))) << dump(told);
    EXPECT_FALSE(hasMessage(told, QString::fromUtf8("观众乙 断开了连麦"))) << dump(told);
    EXPECT_TRUE(host->poll("cobroadcast", [](const QJsonObject& answer) {
        return answer.value(QStringLiteral("members")).toArray().isEmpty();
    }).value(QStringLiteral("members")).toArray().isEmpty());

    // 7. Screen cast answers from the host reach the phone.
    const auto phoneGot = [&](const char* type, std::optional<bool> accept) {
        return pollUntil([&] {
            for (const QJsonObject& command : m_phone.commands()) {
                if (text(command, "type") == QLatin1String(type) && idText(command.value(QStringLiteral("student_id"))) == m_phone.userId
                    && (!accept || command.value(QStringLiteral("accept")).toBool(!*accept) == *accept))
                    return true;
            }
            return false;
        });
    };
    ASSERT_TRUE(ok(host->send(request("screencast", { { "userId", m_phone.userId }, { "action", QStringLiteral("accept") } }))));
    EXPECT_TRUE(phoneGot("Receive.Touping", true));
    ASSERT_TRUE(ok(host->send(request("screencast", { { "userId", m_phone.userId }, { "action", QStringLiteral("refuse") } }))));
    EXPECT_TRUE(phoneGot("Receive.Touping", false));
    ASSERT_TRUE(ok(host->send(request("screencast", { { "userId", m_phone.userId }, { "action", QStringLiteral("end") } }))));
    EXPECT_TRUE(phoneGot("End.Touping", std::nullopt));

    // 8. A forged "stream_end" from the phone closes nobody.
    m_phone.sendCommand(QJsonObject { { QStringLiteral("type"), QStringLiteral("stream_end") } });
    const QString after = QString::fromUtf8("伪造之后");
    ASSERT_TRUE(ok(host->send(request("chat", { { "text", after } }))));
    for (AgentProcess* member : { host, a, b }) {
        const QJsonObject items = member->poll("chatitems", [&](const QJsonObject& answer) { return chatCount(answer, after) == 1; });
        EXPECT_EQ(chatCount(items, after), 1) << member->name().toStdString();
        EXPECT_TRUE(member->send("meeting").value(QStringLiteral("running")).toBool()) << member->name().toStdString();
        EXPECT_NE(text(member->send("page"), "page"), QStringLiteral("page_ready")) << member->name().toStdString();
    }

    // 9. The host kicks B: B is back on its ready page, gone from the host's list; A watches on.
    ASSERT_TRUE(ok(host->send(request("row", { { "userId", bId }, { "button", QStringLiteral("kick") } }))));
    EXPECT_EQ(text(b->poll("page", [](const QJsonObject& answer) { return text(answer, "page") == QLatin1String("page_ready"); }), "page"),
        QStringLiteral("page_ready"));
    const QJsonObject hostRows = host->poll("rows", [&](const QJsonObject& answer) { return rowOf(answer, bId).isEmpty(); });
    EXPECT_TRUE(rowOf(hostRows, bId).isEmpty()) << dump(hostRows);
    EXPECT_FALSE(rowOf(hostRows, aId).isEmpty()) << dump(hostRows);
    EXPECT_TRUE(a->send("meeting").value(QStringLiteral("running")).toBool());
    EXPECT_FALSE(frameWhere(*a, colourbars::showsBars).isNull());
    screenshots("step9", { host, a, b });

    // 10. The host stops: A is back on its ready page; the service holds nothing of the meeting.
    ASSERT_TRUE(ok(host->send("stop")));
    EXPECT_EQ(text(a->poll("page", [](const QJsonObject& answer) { return text(answer, "page") == QLatin1String("page_ready"); }), "page"),
        QStringLiteral("page_ready"));
    EXPECT_TRUE(serviceShows("meetings", [&](const QJsonObject& state) { return meetingIn(state, key).isEmpty(); }))
        << "meeting " << key.toStdString() << " not deleted: " << deletions();
    EXPECT_TRUE(serviceShows("chat_rooms", [&](const QJsonObject& state) { return roomIn(state, roomId).isEmpty(); }))
        << "room " << roomId.toStdString() << " not disposed: " << dump(m_state);
    EXPECT_TRUE(serviceShows("streams", [&](const QJsonObject& state) {
        return std::none_of(streams.begin(), streams.end(), [&](const QString& stream) { return !entryOf(state, "streams", "stream_id", stream).isEmpty(); });
    })) << "a publisher is left: " << dump(m_state);

    // Every agent ends with code 0 on SIGTERM (the sanitizers' reports end a process with another code).
    m_phone.close();
    for (AgentProcess* agent : { host, a, b })
        EXPECT_EQ(agent->terminate(), 0) << agent->name().toStdString() << ": " << agent->log().toStdString();

    // No session token, room password or join token in any log.
    QStringList secrets { roomPwd, m_phone.token };
    for (const QJsonValue& value : recordedRequests()) {
        const QJsonObject recorded = value.toObject();
        for (const QJsonValue& header : recorded.value(QStringLiteral("headers")).toArray()) {
            const QString bearer = header.toArray().at(1).toString();
            if (header.toArray().at(0).toString() == QLatin1String("authorization") && bearer.startsWith(QLatin1String("Bearer "))
                && bearer.size() > 7)
                secrets << bearer.mid(7);
        }
        const QUrlQuery query(text(recorded, "query"));
        if (query.hasQueryItem(QStringLiteral("token")))
            secrets << query.queryItemValue(QStringLiteral("token"));
    }
    secrets.removeDuplicates();
    secrets.removeAll(QString());
    EXPECT_GE(secrets.size(), 3);
    for (AgentProcess* agent : { host, a, b }) {
        QStringList files { agent->folder() + QStringLiteral("/agent.log") };
        QDir logs(agent->folder() + QStringLiteral("/cfg/log"));
        for (const QString& file : logs.entryList({ QStringLiteral("*") }, QDir::Files))
            files << logs.filePath(file);
        for (const QString& path : files) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
            const QByteArray content = file.readAll();
            for (const QString& secret : secrets)
                EXPECT_FALSE(content.contains(secret.toUtf8())) << path.toStdString() << " holds a secret";
        }
    }

    // The service too ends cleanly (the sanitizers' reports end it with another code).
    EXPECT_EQ(m_service->terminate(), 0) << m_service->log().toStdString();
}

// A meeting with a password: the wrong one is refused with the service's text, the right one joins.
TEST_F(MeetingE2E, MeetingPasswordIsChecked)
{
    AgentProcess* host = start("host", "member");
    AgentProcess* viewer = start("viewer", "demo");
    ASSERT_FALSE(HasFailure());
    const QString key = create(*host, QStringLiteral("1234"));
    ASSERT_FALSE(key.isEmpty());

    ASSERT_TRUE(ok(join(*viewer, key, QString::fromUtf8("来宾"), QStringLiteral("0000"))));
    const QJsonObject refused = viewer->poll("messages", [](const QJsonObject& answer) {
        return hasMessage(answer, QString::fromUtf8("密码错误"));
    });
    EXPECT_TRUE(hasMessage(refused, QString::fromUtf8("密码错误"))) << dump(refused);
    EXPECT_EQ(text(viewer->send("page"), "page"), QStringLiteral("page_ready"));

    ASSERT_TRUE(ok(join(*viewer, key, QString::fromUtf8("来宾"), QStringLiteral("1234"))));
    EXPECT_TRUE(inMeeting(*viewer)) << dump(viewer->send("messages"));
    EXPECT_TRUE(colourbars::showsBars(frameWhere(*viewer, colourbars::showsBars, 90000)));

    EXPECT_TRUE(ok(host->send("stop")));
    EXPECT_TRUE(serviceShows("meetings", [&](const QJsonObject& state) { return meetingIn(state, key).isEmpty(); }))
        << "meeting " << key.toStdString() << " not deleted: " << deletions();
    EXPECT_EQ(text(viewer->poll("page", [](const QJsonObject& answer) { return text(answer, "page") == QLatin1String("page_ready"); }), "page"),
        QStringLiteral("page_ready"));
    for (AgentProcess* agent : { host, viewer })
        EXPECT_EQ(agent->terminate(), 0) << agent->name().toStdString() << ": " << agent->log().toStdString();
    EXPECT_EQ(m_service->terminate(), 0) << m_service->log().toStdString();
}

} // namespace
