#include <bridge/signal.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

const std::string kRule = "================================\n";

class SignalTest : public ::testing::Test {
protected:
    // A callback that records `name` and the key it received.
    bg::SignalCallback note(const std::string& name)
    {
        return [this, name](const char* key, const bg::Value&, bg::ReplyCallback) {
            calls.push_back(name + ":" + key);
        };
    }

    bg::Signal hub;
    std::vector<std::string> calls;
};

TEST_F(SignalTest, IdsComeFromOneCounter)
{
    EXPECT_EQ(hub.connect("vipstate_sig", note("l")), 1);
    EXPECT_EQ(hub.connect("vip*", note("f")), 2);
    EXPECT_EQ(hub.connect("other", note("l"), 7), 3) << "an unknown id is not taken as the new id";

    testing::internal::CaptureStderr();
    EXPECT_EQ(hub.connect("vipstate_sig", note("again"), 1), 1);
    EXPECT_EQ(hub.connect("*any", note("again"), 2), 2);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
        "[Signal] (Warnning): connect 'key=vipstate_sig, id=1' already exist !\n\n"
        "[Signal] (Warnning): connect 'key=*any, id=2' already exist !\n\n");

    EXPECT_EQ(hub.connect("", note("x")), -1);
    EXPECT_EQ(hub.connect(nullptr, note("x")), -1);
    EXPECT_EQ(hub.connect("k", bg::SignalCallback()), -1);
    hub.clear();
    EXPECT_EQ(hub.connect("k", note("x")), 4) << "clear keeps the counter";
}

TEST_F(SignalTest, PatternsMatchPrefixesAndSuffixes)
{
    struct Case {
        const char* pattern;
        const char* key;
        bool match;
    };
    const Case cases[] = {
        { "vip*", "vipstate_sig", true },
        { "vip*", "vip", true },
        { "vip*", "VIPstate", false },
        { "vip*", "vi", false },
        { "*_sig", "vipstate_sig", true },
        { "*_sig", "_sig", true },
        { "*_sig", "sig", false },
        { "*_sig", "vipstate_SIG", false },
        { "*", "anything", true },
        { "*mid*", "a_mid*", true },
        { "*mid*", "a_mid_b", false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.pattern) + " / " + c.key);
        bg::Signal local;
        bool called = false;
        local.connect(c.pattern, [&](const char*, const bg::Value&, bg::ReplyCallback) { called = true; });
        testing::internal::CaptureStderr();
        local.emit_value(c.key, bg::Value(1));
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(called, c.match);
    }
}

TEST_F(SignalTest, ListenersRunInConnectionOrderBeforeFilters)
{
    hub.connect("k*", note("filter1"));
    hub.connect("k", note("first"));
    hub.connect("*", note("filter2"));
    hub.connect("k", note("second"));
    hub.connect("other", note("never"));
    hub.emit_value("k", bg::Value(1));
    EXPECT_EQ(calls, (std::vector<std::string> { "first:k", "second:k", "filter1:k", "filter2:k" }));
}

TEST_F(SignalTest, ValueAndReplyReachTheListener)
{
    const bg::Value value("{\"level\":3}");
    const bg::Value* seen = nullptr;
    std::string answer;
    hub.connect("vipstate_sig", [&](const char* key, const bg::Value& v, bg::ReplyCallback reply) {
        EXPECT_STREQ(key, "vipstate_sig");
        seen = &v;
        if (reply)
            reply(bg::Value("ack"));
    });
    hub.emit("vipstate_sig", value, [&](const bg::Value& r) { answer = r.toString(); });
    EXPECT_EQ(seen, &value) << "the emitter's own object, not a copy";
    EXPECT_EQ(answer, "ack");
    answer.clear();
    hub.emit_value("vipstate_sig", value);
    EXPECT_EQ(answer, "") << "emit_value hands an empty reply";
}

TEST_F(SignalTest, EmitWithoutListenerOrKeyOnlyWarns)
{
    testing::internal::CaptureStderr();
    hub.emit_value("nobody", bg::Value(5));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
        "[Singal] (Warnning) no listener for 'key=nobody'   ---> val=(type 2, 0 bytes)\n");
    // A value's text (a user's token, say) never reaches the warning: its type and length only.
    testing::internal::CaptureStderr();
    hub.emit_value("nobody", bg::Value("token=s3cr3t"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
        "[Singal] (Warnning) no listener for 'key=nobody'   ---> val=(type 9, 12 bytes)\n");

    hub.connect("*", note("all"));
    testing::internal::CaptureStderr();
    hub.emit_value(nullptr, bg::Value(5));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_TRUE(calls.empty());
}

TEST_F(SignalTest, RemoveAndExists)
{
    int listener = hub.connect("k", note("l"));
    int filter = hub.connect("pre*", note("f"));
    EXPECT_TRUE(hub.exists("k", listener));
    EXPECT_TRUE(hub.exists("k", -1));
    EXPECT_FALSE(hub.exists("k", filter));
    EXPECT_TRUE(hub.exists("*whatever", filter)) << "a filter is found by id alone";
    EXPECT_FALSE(hub.exists("pre*", -1));

    testing::internal::CaptureStderr();
    EXPECT_FALSE(hub.remove("k", -1));
    EXPECT_FALSE(hub.remove("", listener));
    EXPECT_FALSE(hub.remove(nullptr, listener));
    EXPECT_FALSE(hub.remove("k", filter));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    testing::internal::CaptureStderr();
    EXPECT_TRUE(hub.remove("k", listener));
    EXPECT_TRUE(hub.remove("*other", filter));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
        "[Singal] remove listener 'key=k, id=1' OK !!!\n\n"
        "[Singal] remove filter 'id=2, describ=*other' OK !!!\n\n");
    EXPECT_FALSE(hub.exists("k", -1));
    EXPECT_FALSE(hub.exists("pre*", filter));
}

TEST_F(SignalTest, CallbacksMayCallBackIntoTheHub)
{
    int self = -1;
    self = hub.connect("k", [&](const char*, const bg::Value&, bg::ReplyCallback) {
        calls.push_back("self");
        hub.connect("k", note("late"));
        hub.remove("k", self);
        hub.emit_value("inner", bg::Value(1));
    });
    hub.connect("inner", note("inner"));
    testing::internal::CaptureStderr();
    hub.emit_value("k", bg::Value(1));
    EXPECT_EQ(calls, (std::vector<std::string> { "self", "inner:inner" }))
        << "the new listener waits for the next emit";
    hub.emit_value("k", bg::Value(1));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(calls, (std::vector<std::string> { "self", "inner:inner", "late:k" }));
}

TEST_F(SignalTest, ExamplesSplitIntoValidAndInvalid)
{
    EXPECT_EQ(hub.examples(), "\n" + kRule + "[Examples] empty.\n" + kRule);
    hub.connect("vipstate_sig", note("l"));
    hub.connect("vip*", note("f"));
    hub.add_example("vipstate_sig", bg::Value("{}"));
    hub.add_example("vipstate_sig", bg::Value(1));
    hub.add_example("unheard", bg::Value(2));
    hub.add_example("vip*", bg::Value(3));
    EXPECT_EQ(hub.examples(),
        "\n" + kRule
            + "## [Valid Examples]:\n"
              "vipstate_sig ---> [str:2]{}\n"
              "vipstate_sig ---> [i]1\n"
              "## [Invalid Examples]:\n"
              "unheard ---> [i]2\n"
              "vip* ---> [i]3\n"
            + kRule);
    hub.clear();
    EXPECT_EQ(hub.examples(), "\n" + kRule + "[Examples] empty.\n" + kRule);
}

TEST_F(SignalTest, ChildrenAreKeptPerNameAndSurviveClear)
{
    bg::Abstract_Signal* child = hub.child("room");
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(hub.child(std::string("room")), child);
    EXPECT_NE(hub.child("other"), child);
    EXPECT_EQ(child->owner, nullptr);
    child->connect("k", note("child"));
    hub.clear();
    EXPECT_EQ(hub.child("room"), child);
    child->emit_value("k", bg::Value(1));
    EXPECT_EQ(calls, (std::vector<std::string> { "child:k" }));
}

TEST(SignalFactory, CreateAndDestroyClearThePointer)
{
    bg::Abstract_Signal* hub = bg::sig::create();
    ASSERT_NE(hub, nullptr);
    EXPECT_EQ(hub->owner, nullptr);
    hub->child("c")->connect("k", [](const char*, const bg::Value&, bg::ReplyCallback) {});
    bg::sig::destroy(&hub);
    EXPECT_EQ(hub, nullptr);
}

} // namespace
