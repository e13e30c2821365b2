// The version check's reply and countdown, and the module object without an admin.
#include "memviaobj.h"
#include "modulememvia.h"

#include "memvia/memvia_fixture.h"

#include <bridge/valuemap.h>

#include <QThread>

namespace {

class VersionCheckTest : public MembershipFixture {
protected:
    void SetUp() override
    {
        MembershipFixture::SetUp();
        MemviaObj::setCountdownStepMs(1);
        MemviaObj::setExitFunction([this](int code) {
            exits.push_back(code);
            exitThread = QThread::currentThread();
        });
    }
    void TearDown() override
    {
        MemviaObj::setExitFunction({});
        MemviaObj::setCountdownStepMs(1000);
    }

    std::vector<int> exits;
    QThread* exitThread = nullptr;
};

TEST_F(VersionCheckTest, OnlyCodesOfTheRetiredRangeEndTheApplication)
{
    const struct {
        int errcode;
        bool ends;
    } cases[] = { { -10000, true }, { -10099, true }, { -9999, false }, { -10100, false }, { 0, false } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.errcode);
        exits.clear();
        service->script("/goapi/versionCheck",
            c.errcode ? devservice::ScriptedReply::failure(c.errcode, "版本过旧")
                      : devservice::ScriptedReply::success(Json::Value("{}")));
        MemviaObj object;
        std::vector<bg::Value> replies;
        object.versionCheck([&](const bg::Value& reply) { replies.push_back(reply); });
        ASSERT_TRUE(QTest::qWaitFor([&] { return !replies.empty(); }, 20000));
        EXPECT_EQ(replies[0].toMap().get_data("errcode", bg::Value(-99999)).toInt(), c.errcode);
        if (c.ends) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return !exits.empty(); }, 5000));
            EXPECT_EQ(exits, std::vector<int> { 0 });
            EXPECT_EQ(exitThread, QThread::currentThread());
        } else {
            QTest::qWait(200);
            EXPECT_TRUE(exits.empty());
        }
    }
}

TEST_F(VersionCheckTest, StartChecksUnlessTheProgramSaysItDoes)
{
    for (bool skip : { true, false }) {
        SCOPED_TRACE(skip);
        service->clearRequests();
        component.app->set_property("user_version_check", bg::Value(skip), false);
        ModuleMemvia module(nullptr);
        module.app = component.app;
        module.start();
        QTest::qWait(300);
        EXPECT_EQ(lastRequest("/goapi/versionCheck").path.empty(), skip);
        // The reply arrives for this object only while it lives.
        if (!skip) {
            EXPECT_TRUE(QTest::qWaitFor([&] { return module.object().versionReply().isValid(); }, 20000));
        }
    }
}

TEST(ModuleWithoutAdmin, SendFailsAndNeverAnswers)
{
    ModuleMemvia module(nullptr);
    bool called = false;
    const bg::Value result = module.send("Other", 1, bg::Value(), [&](const bg::Value&) { called = true; });
    EXPECT_TRUE(result.isError());
    EXPECT_EQ(result.errorID(), -1001);
    EXPECT_STREQ(result.errorMsg(), "Admin is null");
    EXPECT_FALSE(called);
    EXPECT_STREQ(module.name, "Memvia");
    EXPECT_TRUE(module.init());
    EXPECT_FALSE(module.is_debug());
}

} // namespace
