// The chat-room commands: their built forms, the host's co-broadcast list, the readers of received fields
// and the per-role dispatch table.
#include "ui/part/chatcommands.h"

#include <json/reader.h>

#include <gtest/gtest.h>

#include <memory>

using namespace chatcommand;

namespace {

Json::Value parse(const std::string& text)
{
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value value;
    std::string errors;
    EXPECT_TRUE(reader->parse(text.data(), text.data() + text.size(), &value, &errors)) << errors;
    return value;
}

constexpr int64_t kBigId = 0x1234567890LL; // beyond 32 bits

TEST(ChatCommands, BuiltFormsCarry64BitIdsAndTheirFieldTypes)
{
    const Json::Value invite = parse(text(inviteLianmai(kBigId, 2)));
    EXPECT_EQ(invite["type"].asString(), "Invite.Lianmai");
    EXPECT_EQ(invite["student_id"].asInt64(), kBigId);
    EXPECT_EQ(invite["order_type"].asInt(), 2);
    EXPECT_EQ(parse(text(endLianmai(kBigId)))["student_id"].asInt64(), kBigId);

    const Json::Value reply = parse(text(receiveInvitation(kBigId, true)));
    EXPECT_EQ(reply["type"].asString(), "Receive.invitation");
    EXPECT_TRUE(reply["accept"].isBool());

    const Json::Value announced = parse(text(streamUrl(kBigId, 77, true, false)));
    EXPECT_EQ(announced["user_id"].asInt64(), kBigId);
    EXPECT_TRUE(announced["url"].isInt64());
    EXPECT_EQ(announced["url"].asInt64(), 77);
    EXPECT_EQ(announced["stream_id"].asInt64(), 77);
    EXPECT_TRUE(announced["audio"].asBool());
    EXPECT_FALSE(announced["video"].asBool());

    const Json::Value ended = parse(text(streamUrlEnded(kBigId)));
    EXPECT_EQ(ended["url"], Json::Value(""));
    EXPECT_EQ(ended["stream_id"], Json::Value(""));
    EXPECT_FALSE(ended["audio"].asBool());
    EXPECT_FALSE(ended["video"].asBool());

    EXPECT_EQ(parse(text(streamEnd())), parse("{\"type\":\"stream_end\"}"));
    EXPECT_EQ(parse(text(receiveTouping(kBigId, false)))["type"].asString(), "Receive.Touping");
    EXPECT_EQ(parse(text(endTouping(kBigId)))["student_id"].asInt64(), kBigId);
}

TEST(ChatCommands, LianmaiListDirectionAndMembers)
{
    const struct {
        QSize output;
        const char* direction;
    } directions[] = { { { 1280, 720 }, "horiz" }, { { 720, 720 }, "verti" }, { { 720, 1280 }, "verti" } };
    for (const auto& row : directions) {
        SCOPED_TRACE(row.direction);
        LianmaiListInput input;
        input.outputSize = row.output;
        EXPECT_EQ(parse(text(lianmaiList(input)))["teacher"]["direction"].asString(), row.direction);
    }

    LianmaiListInput input;
    input.hostVideoStreamId = kBigId;
    input.hostAudioStreamerId = 31;
    input.outputSize = QSize(1920, 1080);
    input.members = { { 9, QStringLiteral("九") }, { 3, QStringLiteral("三") }, { kBigId, QStringLiteral("大") },
        { 5, QStringLiteral("五") }, { 6, QStringLiteral("六") } };
    input.streams.insert(9, { 900, QStringLiteral("九"), true, true });
    input.streams.insert(3, { 300, QStringLiteral("三"), true, false });
    input.streams.insert(kBigId, { kBigId + 1, QStringLiteral("大"), false, true });
    input.streams.insert(5, { 0, QStringLiteral("五"), true, true }); // invited, nothing announced yet
    // 6 has no stream information at all
    const Json::Value list = parse(text(lianmaiList(input)));
    EXPECT_EQ(list["type"].asString(), "Lianmai_list");
    EXPECT_EQ(list["teacher"]["video_url"].asInt64(), kBigId);
    EXPECT_EQ(list["teacher"]["audio_url"].asInt(), 31);
    const Json::Value& members = list["members"];
    ASSERT_TRUE(members.isArray());
    ASSERT_EQ(members.size(), 3u);
    const int64_t order[] = { 3, 9, kBigId };
    for (Json::ArrayIndex i = 0; i < members.size(); ++i)
        EXPECT_EQ(members[i]["user_id"].asInt64(), order[i]);
    EXPECT_EQ(members[0]["name"].asString(), "三");
    EXPECT_EQ(members[0]["stream_id"].asInt64(), 300);
    EXPECT_FALSE(members[0]["video"].asBool());
    EXPECT_EQ(members[2]["stream_id"].asInt64(), kBigId + 1);
}

TEST(ChatCommands, HostUrlStreamIds)
{
    const struct {
        const char* command;
        std::optional<int64_t> id;
    } cases[] = {
        { R"({"type":"host_url","stream_id":42})", 42 },
        { R"({"type":"host_url","stream_id":"78187493520"})", 78187493520LL },
        { R"({"type":"host_url","stream_id":78187493520})", 78187493520LL },
        { R"({"type":"host_url","stream_id":""})", std::nullopt },
        { R"({"type":"host_url"})", std::nullopt }, // no id: nothing to pull
        { R"({"type":"host_url","stream_id":-1})", std::nullopt },
        { R"({"type":"host_url","stream_id":0})", std::nullopt },
        { R"({"type":"host_url","stream_id":"12ab"})", std::nullopt },
        { R"({"type":"host_url","stream_id":"99999999999999999999"})", std::nullopt },
        { R"({"type":"host_url","stream_id":true})", std::nullopt },
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.command);
        EXPECT_EQ(hostUrlStreamId(parse(row.command)), row.id);
    }
}

TEST(ChatCommands, StreamUrlTextsByRole)
{
    const struct {
        const char* url;
        const char* host;
        const char* viewer;
    } cases[] = {
        { "0", "", "0" },
        { "1234567890123", "1234567890123", "1234567890123" },
        { "\"\"", "", "" },
        { "\"abc\"", "abc", "abc" },
        { "null", "", "" },
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.url);
        const Json::Value url = parse(std::string("{\"url\":") + row.url + "}")["url"];
        EXPECT_EQ(hostStreamUrlText(url), QString::fromUtf8(row.host));
        EXPECT_EQ(viewerStreamUrlText(url), QString::fromUtf8(row.viewer));
    }
    EXPECT_EQ(idOf(parse(R"({"a":"17"})")["a"]), 17);
    EXPECT_EQ(idOf(parse(R"({"a":"x"})")["a"]), 0);
    EXPECT_EQ(idOf(parse(R"({"a":[1]})")["a"]), 0);
}

TEST(ChatCommands, DispatcherRunsTheRolesTableAndChecksTheSender)
{
    QStringList ran;
    Dispatcher dispatcher;
    auto record = [&ran](const char* name) { return [&ran, name](const Received&) { ran << name; }; };
    dispatcher.setViewerTable({ { kStreamEnd, Dispatcher::Sender::HostOnly, record("viewer stream_end") },
        { kStreamUrl, Dispatcher::Sender::Anyone, record("viewer stream_url") } });
    dispatcher.setHostTable({ { kStreamUrl, Dispatcher::Sender::Anyone, record("host stream_url") } });
    dispatcher.setSenderIsHost([](const QString& chatId) { return chatId == QStringLiteral("host-peer"); });

    using O = Dispatcher::Outcome;
    // Nested past any parser's stack limit: any member of the room can send it.
    const std::string deep = R"({"type":"stream_end","x":)" + std::string(1001, '[') + std::string(1001, ']') + "}";
    const std::string tooDeep = R"({"type":"stream_end","x":)" + std::string(64, '[') + std::string(64, ']') + "}";
    const struct {
        bool isHost;
        const char* sender;
        std::string text;
        O outcome;
        const char* ran;
    } cases[] = {
        { false, "host-peer", R"({"type":"stream_end"})", O::Handled, "viewer stream_end" },
        { false, "member-peer", R"({"type":"stream_end"})", O::FromOtherSender, nullptr },
        { false, "member-peer", R"({"type":"stream_url","url":1})", O::Handled, "viewer stream_url" },
        { true, "member-peer", R"({"type":"stream_url","url":1})", O::Handled, "host stream_url" },
        { true, "host-peer", R"({"type":"stream_end"})", O::Unknown, nullptr },
        { false, "host-peer", R"({"type":"Receive.invitation"})", O::Unknown, nullptr },
        { false, "host-peer", R"({"type":7})", O::Unknown, nullptr },
        { false, "host-peer", "not json", O::Unparsable, nullptr },
        { false, "host-peer", "[1,2]", O::Unparsable, nullptr },
        { false, "host-peer", deep, O::Unparsable, nullptr },
        { true, "member-peer", deep, O::Unparsable, nullptr },
        { false, "host-peer", tooDeep, O::Unparsable, nullptr },
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.text.substr(0, 60));
        ran.clear();
        EXPECT_EQ(dispatcher.dispatch(row.isHost, QString::fromLatin1(row.sender), row.text), row.outcome);
        EXPECT_EQ(ran, row.ran ? QStringList { QString::fromLatin1(row.ran) } : QStringList());
    }
}

TEST(ChatCommands, WhatEscapesAHandlerFailsThatCommandAlone)
{
    Dispatcher dispatcher;
    int handled = 0;
    dispatcher.setHostTable({
        { kStreamUrl, Dispatcher::Sender::Anyone,
            [](const Received& received) {
                // The unguarded reads a handler could make: asString() of an array throws.
                (void)received.command["url"].asString();
            } },
        { kReceiveInvitation, Dispatcher::Sender::Anyone, [&handled](const Received&) { ++handled; } },
    });
    EXPECT_EQ(dispatcher.dispatch(true, QStringLiteral("p"), R"({"type":"stream_url","url":[1]})"),
        Dispatcher::Outcome::Failed);
    EXPECT_EQ(dispatcher.dispatch(true, QStringLiteral("p"), R"({"type":"Receive.invitation"})"),
        Dispatcher::Outcome::Handled);
    EXPECT_EQ(handled, 1);
}

} // namespace
