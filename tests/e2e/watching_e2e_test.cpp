// Process level: the local service and participant agents, each a whole client of its own.
#include "agentprocess.h"

#include "support/colourbars.h"

#include <devservice/service.h>

#include <QCoreApplication>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class WatchingE2E : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        devservice::Service::Options options;
        options.https = false;
        m_service = std::make_unique<devservice::Service>(options);
        std::string error;
        ASSERT_TRUE(m_service->start(&error)) << error;
    }

    // The agents' logs stay beside the test as artefacts.
    void TearDown() override
    {
        for (const QString& name : m_names) {
            const QString kept = QStringLiteral(ARTEFACT_DIR "/e2e_%1.log").arg(name);
            QFile::remove(kept);
            QFile::copy(m_dir.path() + '/' + name + QStringLiteral("/agent.log"), kept);
            // The program's own log (framework, studio, connections).
            QDir logs(m_dir.path() + '/' + name + QStringLiteral("/cfg/log"));
            for (const QString& file : logs.entryList({ QStringLiteral("Admin*.log") }, QDir::Files)) {
                const QString copy = QStringLiteral(ARTEFACT_DIR "/e2e_%1_program.log").arg(name);
                QFile::remove(copy);
                QFile::copy(logs.filePath(file), copy);
            }
        }
    }

    QString serviceUrl() const { return QString::fromStdString(m_service->baseUrl()); }

    // What the agent's program wrote to its own log so far.
    static QByteArray programLog(AgentProcess& participant)
    {
        QByteArray all;
        QDir logs(participant.folder() + QStringLiteral("/cfg/log"));
        for (const QString& name : logs.entryList({ QStringLiteral("Admin*.log") }, QDir::Files)) {
            QFile file(logs.filePath(name));
            if (file.open(QIODevice::ReadOnly))
                all += file.readAll();
        }
        return all;
    }
    std::unique_ptr<AgentProcess> agent(const char* name)
    {
        m_names << QString::fromLatin1(name);
        return std::make_unique<AgentProcess>(m_dir.path(), QString::fromLatin1(name));
    }

    QTemporaryDir m_dir;
    QStringList m_names;
    std::unique_ptr<devservice::Service> m_service;
};

bool signedIn(const QJsonObject& answer) { return answer.value(QStringLiteral("signedIn")).toBool(); }

QJsonObject request(const char* command, std::initializer_list<std::pair<const char*, QString>> members)
{
    QJsonObject object { { QStringLiteral("cmd"), QString::fromLatin1(command) } };
    for (const auto& [name, value] : members)
        object.insert(QString::fromLatin1(name), value);
    return object;
}

// The picture of the first visible renderer that has one.
QImage shownPicture(const QJsonObject& answer)
{
    for (const QJsonValue& value : answer.value(QStringLiteral("frames")).toArray()) {
        const QJsonObject frame = value.toObject();
        if (!frame.value(QStringLiteral("visible")).toBool() || frame.value(QStringLiteral("png")).toString().isEmpty())
            continue;
        return QImage::fromData(QByteArray::fromBase64(frame.value(QStringLiteral("png")).toString().toLatin1()), "PNG");
    }
    return {};
}

bool anyText(const QJsonArray& items, const char* listKey, const QString& wanted)
{
    for (const QJsonValue& item : items) {
        for (const QJsonValue& text : item.toObject().value(QLatin1String(listKey)).toArray()) {
            if (text.toString().contains(wanted))
                return true;
        }
    }
    return false;
}

// Two clients side by side, each signed in as its member, on the ready page, in folders of their own.
TEST_F(WatchingE2E, TwoAgentsSignInSideBySide)
{
    auto host = agent("host");
    auto viewer = agent("viewer");
    ASSERT_TRUE(host->start(QStringLiteral(AGENT), serviceUrl(),
        { QStringLiteral("--account"), QStringLiteral("member"), QStringLiteral("--password"),
            QStringLiteral("member1234") }))
        << host->log().toStdString();
    ASSERT_TRUE(viewer->start(QStringLiteral(AGENT), serviceUrl())) << viewer->log().toStdString();

    EXPECT_TRUE(signedIn(host->poll("account", signedIn))) << host->log().toStdString();
    // The viewer signs in once it runs: the stored keys and the login dialog's automatic sign-in.
    const QJsonObject signin = viewer->send(QJsonObject { { QStringLiteral("cmd"), QStringLiteral("signin") },
        { QStringLiteral("account"), QStringLiteral("demo") }, { QStringLiteral("password"), QStringLiteral("demo1234") } });
    EXPECT_TRUE(signin.value(QStringLiteral("ok")).toBool());
    EXPECT_TRUE(signedIn(viewer->poll("account", signedIn))) << viewer->log().toStdString();

    for (AgentProcess* participant : { host.get(), viewer.get() }) {
        EXPECT_EQ(participant->send("page").value(QStringLiteral("page")).toString(), QStringLiteral("page_ready"));
        EXPECT_TRUE(participant->send("messages").value(QStringLiteral("messages")).toArray().isEmpty());
        const QJsonObject unknown = participant->send("no such command");
        EXPECT_FALSE(unknown.value(QStringLiteral("ok")).toBool(true));
        // Each client's configuration stays in its own folder.
        EXPECT_FALSE(participant->filesUnder(QStringLiteral("cfg")).isEmpty()) << participant->folder().toStdString();
    }
    EXPECT_EQ(host->stop(), 0) << host->log().toStdString();
    EXPECT_EQ(viewer->stop(), 0) << viewer->log().toStdString();
}

// A newcomer on a machine without a sound server: a client from fresh folders, signed in through the login
// dialog's fields, creates a meeting (sound on, settings untouched) whose desktop is the colour bars; the
// studio pushes with silence for the sound it cannot open. A viewer with folders of its own joins and sees
// the bars move; both lists show the members; chat goes both ways; the host stops and the viewer is back on
// the ready page.
TEST_F(WatchingE2E, ViewerWatchesTheHostsMeeting)
{
    auto host = agent("host");
    auto viewer = agent("viewer");
    QProcessEnvironment noSoundServer;
    noSoundServer.insert(QStringLiteral("TAVICAST_DESKTOP_AUDIO_SOURCE"), QString());
    noSoundServer.insert(QStringLiteral("TAVICAST_AUDIO_SOURCE"), QString());
    noSoundServer.insert(QStringLiteral("TAVICAST_AUDIO_SINK"), QString());
    noSoundServer.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:/nonexistent/tavicast-no-sound-server"));
    // The host's program logs its warnings too (the studio's word on the sound it cannot open).
    ASSERT_TRUE(QDir().mkpath(host->folder() + QStringLiteral("/cfg/conf")));
    QFile conf(host->folder() + QStringLiteral("/cfg/conf/Admin.conf"));
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
    conf.write("log.level : 4\nlog.stdout : false\nlog.tag : \n");
    conf.close();
    ASSERT_TRUE(host->start(QStringLiteral(AGENT), serviceUrl(), {}, noSoundServer)) << host->log().toStdString();
    ASSERT_TRUE(viewer->start(QStringLiteral(AGENT), serviceUrl(),
        { QStringLiteral("--account"), QStringLiteral("demo"), QStringLiteral("--password"), QStringLiteral("demo1234") },
        noSoundServer))
        << viewer->log().toStdString();
    EXPECT_FALSE(signedIn(host->send("account")));
    ASSERT_TRUE(host->send(request("login", { { "account", QStringLiteral("member") }, { "password", QStringLiteral("member1234") } }))
                    .value(QStringLiteral("ok"))
                    .toBool());
    ASSERT_TRUE(signedIn(host->poll("account", signedIn))) << host->log().toStdString();
    ASSERT_TRUE(signedIn(viewer->poll("account", signedIn))) << viewer->log().toStdString();

    const QJsonObject created = host->send(request("create", { { "title", QStringLiteral("e2e 直播") }, { "password", QStringLiteral("1234") } }));
    ASSERT_TRUE(created.value(QStringLiteral("ok")).toBool()) << QJsonDocument(created).toJson().toStdString();
    const QJsonObject live = host->poll("meeting", [](const QJsonObject& answer) {
        return answer.value(QStringLiteral("running")).toBool() && answer.value(QStringLiteral("streaming")).toBool();
    });
    ASSERT_TRUE(live.value(QStringLiteral("streaming")).toBool())
        << QJsonDocument(host->send("messages")).toJson().toStdString() << host->log().toStdString();
    const QString key = live.value(QStringLiteral("key")).toString();
    ASSERT_FALSE(key.isEmpty());
    const QJsonObject boxes = host->send(QJsonObject { { QStringLiteral("cmd"), QStringLiteral("messages") } }, 60000);
    EXPECT_TRUE(boxes.value(QStringLiteral("ok")).toBool() && boxes.value(QStringLiteral("messages")).toArray().isEmpty())
        << "no box on the way: " << QJsonDocument(boxes).toJson().toStdString();
    // The desktop sound and the microphone, neither to be had, each said so once.
    QByteArray hostLog;
    AgentProcess::waitFor([&] {
        hostLog = programLog(*host);
        return hostLog.count("cannot be opened") >= 2;
    }, 10000);
    EXPECT_EQ(hostLog.count("cannot be opened"), 2) << hostLog.toStdString();

    const QJsonObject joined = viewer->send(request("join", { { "key", key }, { "name", QStringLiteral("观众") }, { "password", QStringLiteral("1234") } }));
    ASSERT_TRUE(joined.value(QStringLiteral("ok")).toBool()) << QJsonDocument(joined).toJson().toStdString();

    // The viewer's picture shows the bars, and the square moves.
    QImage first;
    viewer->poll("frames", [&](const QJsonObject& answer) {
        first = shownPicture(answer);
        return colourbars::showsBars(first);
    }, 90000);
    ASSERT_TRUE(colourbars::showsBars(first)) << QJsonDocument(viewer->send("messages")).toJson().toStdString()
                                              << viewer->log().toStdString();
    first.save(QStringLiteral(ARTEFACT_DIR "/e2e_viewer_first.png"));
    const std::optional<int> firstSquare = colourbars::squareCentre(first);
    ASSERT_TRUE(firstSquare.has_value());
    QImage later;
    viewer->poll("frames", [&](const QJsonObject& answer) {
        later = shownPicture(answer);
        const std::optional<int> square = colourbars::squareCentre(later);
        return colourbars::showsBars(later) && square && std::abs(*square - *firstSquare) > 4;
    });
    later.save(QStringLiteral(ARTEFACT_DIR "/e2e_viewer_later.png"));
    for (AgentProcess* participant : { host.get(), viewer.get() }) {
        const QJsonObject shot = participant->send(QJsonObject { { QStringLiteral("cmd"), QStringLiteral("screenshot") } }, 60000);
        const QImage window = QImage::fromData(QByteArray::fromBase64(shot.value(QStringLiteral("png")).toString().toLatin1()), "PNG");
        QJsonObject described = shot;
        described.remove(QStringLiteral("png"));
        EXPECT_FALSE(window.isNull()) << participant->name().toStdString() << ": "
                                      << QJsonDocument(described).toJson(QJsonDocument::Compact).toStdString()
                                      << " png of " << shot.value(QStringLiteral("png")).toString().size() << " characters";
        window.save(QStringLiteral(ARTEFACT_DIR "/e2e_%1_window.png").arg(participant->name()));
    }
    EXPECT_TRUE(colourbars::showsBars(later));
    EXPECT_NE(colourbars::squareCentre(later), firstSquare);

    // Both member lists: the host's row flagged; the viewer's own row marked.
    const QJsonObject hostRows = host->poll("rows", [](const QJsonObject& answer) {
        return answer.value(QStringLiteral("rows")).toArray().size() >= 2;
    });
    const QJsonObject viewerRows = viewer->poll("rows", [](const QJsonObject& answer) {
        return answer.value(QStringLiteral("rows")).toArray().size() >= 2;
    });
    for (const QJsonObject* rows : { &hostRows, &viewerRows }) {
        int flagged = 0;
        for (const QJsonValue& row : rows->value(QStringLiteral("rows")).toArray())
            flagged += row.toObject().value(QStringLiteral("host")).toBool() ? 1 : 0;
        EXPECT_EQ(flagged, 1) << QJsonDocument(*rows).toJson().toStdString();
    }
    bool marked = false;
    for (const QJsonValue& row : viewerRows.value(QStringLiteral("rows")).toArray())
        marked |= row.toObject().value(QStringLiteral("name")).toString() == QString::fromUtf8("观众 (我)");
    EXPECT_TRUE(marked) << QJsonDocument(viewerRows).toJson().toStdString();

    // Chat both ways.
    const struct {
        AgentProcess* from;
        AgentProcess* to;
        QString text;
    } chats[] = { { host.get(), viewer.get(), QString::fromUtf8("大家好") },
        { viewer.get(), host.get(), QString::fromUtf8("收到") } };
    for (const auto& chat : chats) {
        SCOPED_TRACE(chat.text.toStdString());
        EXPECT_TRUE(chat.from->send(request("chat", { { "text", chat.text } })).value(QStringLiteral("ok")).toBool());
        const QJsonObject items = chat.to->poll("chatitems", [&](const QJsonObject& answer) {
            return anyText(answer.value(QStringLiteral("items")).toArray(), "texts", chat.text);
        });
        EXPECT_TRUE(anyText(items.value(QStringLiteral("items")).toArray(), "texts", chat.text))
            << QJsonDocument(items).toJson().toStdString();
    }

    // The host stops: the viewer's meeting ends with it.
    EXPECT_TRUE(host->send("stop").value(QStringLiteral("ok")).toBool());
    const QJsonObject page = viewer->poll("page", [](const QJsonObject& answer) {
        return answer.value(QStringLiteral("page")).toString() == QStringLiteral("page_ready");
    });
    EXPECT_EQ(page.value(QStringLiteral("page")).toString(), QStringLiteral("page_ready"));
    EXPECT_FALSE(viewer->send("meeting").value(QStringLiteral("running")).toBool(true));

    EXPECT_EQ(host->stop(), 0) << host->log().toStdString();
    EXPECT_EQ(viewer->stop(), 0) << viewer->log().toStdString();
}

} // namespace
