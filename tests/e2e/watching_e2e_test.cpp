// Process level: the local service and participant agents, each a whole client of its own.
#include "agentprocess.h"

#include <devservice/service.h>

#include <QCoreApplication>
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

    QString serviceUrl() const { return QString::fromStdString(m_service->baseUrl()); }
    std::unique_ptr<AgentProcess> agent(const char* name)
    {
        return std::make_unique<AgentProcess>(m_dir.path(), QString::fromLatin1(name));
    }

    QTemporaryDir m_dir;
    std::unique_ptr<devservice::Service> m_service;
};

bool signedIn(const QJsonObject& answer) { return answer.value(QStringLiteral("signedIn")).toBool(); }

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

} // namespace
