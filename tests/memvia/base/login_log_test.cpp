#include "base/vip/vipdata.h"
#include "base/vip/vipnet.h"

#include "memvia/memvia_fixture.h"

#include <bridge/logger.h>

#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {

QTemporaryDir* logDir = nullptr;

// Qt's debug output goes to the same file as the plug-in's log lines, as in the program.
void appendToLog(QtMsgType, const QMessageLogContext&, const QString& text)
{
    QFile file(logDir->filePath("memvia.log"));
    if (file.open(QIODevice::Append))
        file.write(text.toUtf8() + "\n");
}

} // namespace

// After a login, the lines about it name no token, no password and no digest of it.
TEST_F(MembershipFixture, LoginLeavesNoSecretInTheLog)
{
    QTemporaryDir dir;
    logDir = &dir;
    auto* logger = new bg::Logger(dir.filePath("memvia.log").toUtf8().constData());
    component.logger = logger;
    const QtMessageHandler previous = qInstallMessageHandler(appendToLog);

    const std::string digest = devservice::md5Hex("member1234");
    Completion login;
    VipNet::instance()->checkLoginByAccount("member", digest, login.callback());
    ASSERT_TRUE(login.wait());
    ASSERT_EQ(login.errcode, 0) << login.errmsg;
    const Json::Value result = parseJsonText(login.result);
    VipData::instance()->parseLoginInfo(result);
    Completion state;
    VipNet::instance()->getProductState(state.callback());
    ASSERT_TRUE(state.wait());
    // Failures that log the request or reply text.
    Completion refused;
    VipNet::instance()->post(
        R"({"password": "member1234", "token": ")" + result["token"].asString() + "\"}", refused.callback());
    Base::parseJson(R"({"auto_login_token": ")" + result["auto_login_token"].asString() + "\", broken");

    qInstallMessageHandler(previous);
    component.logger = nullptr;
    logger->close();
    delete logger;
    VipData::instance()->clear();

    QFile file(dir.filePath("memvia.log"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const std::string log = file.readAll().toStdString();
    logDir = nullptr;
    EXPECT_NE(log.find("[login_success_info]"), std::string::npos) << log;
    EXPECT_NE(log.find("Memvia do_post"), std::string::npos) << log;
    EXPECT_NE(log.find("net_url field is empty!"), std::string::npos) << log;
    for (const std::string& secret : { result["token"].asString(), result["auto_login_token"].asString(),
             digest, std::string("member1234") }) {
        SCOPED_TRACE(secret);
        ASSERT_FALSE(secret.empty());
        EXPECT_EQ(log.find(secret), std::string::npos) << log;
    }
}
