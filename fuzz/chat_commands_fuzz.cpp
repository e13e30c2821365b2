// The chat-room commands the meeting forms dispatch: any text a member of the room sends is cleaned as the
// form cleans it, dispatched through both roles' tables, and each command's fields are read as the form's
// handlers read them, without fault or exception.
#include "fuzz_check.h"

#include "ui/part/chatcommands.h"
#include "ui/part/meetingmainform.h"

#include <jsonread/jsonread.h>

#include <QString>

#include <cstdint>
#include <string>

namespace {

using chatcommand::Dispatcher;
using chatcommand::Received;
using jsonread::member;

// What the host's and the viewer's handlers read of each command.
void readInvitation(const Received& received)
{
    (void)chatcommand::idOf(member(received.command, "student_id"));
    (void)jsonread::intOf(received.command, "order_type");
    (void)jsonread::boolOf(received.command, "accept");
}

void readViewerStreamUrl(const Received& received)
{
    if (received.command.isMember("url"))
        (void)chatcommand::viewerStreamUrlText(member(received.command, "url"));
}

void readHostStreamUrl(const Received& received)
{
    if (!received.command.isMember("url"))
        return;
    (void)jsonread::boolOf(received.command, "audio");
    (void)jsonread::boolOf(received.command, "video");
    const QString url = chatcommand::hostStreamUrlText(member(received.command, "url"));
    (void)url.toLongLong();
}

void readHostUrl(const Received& received)
{
    const std::optional<int64_t> id = chatcommand::hostUrlStreamId(received.command);
    FUZZ_CHECK(!id || *id > 0);
}

void readLianmaiList(const Received& received) { (void)chatcommand::lianmaiMemberIds(received.command); }

Dispatcher makeDispatcher()
{
    using S = Dispatcher::Sender;
    Dispatcher dispatcher;
    dispatcher.setViewerTable({
        { chatcommand::kInviteLianmai, S::HostOnly, readInvitation },
        { chatcommand::kEndLianmai, S::HostOnly, readInvitation },
        { chatcommand::kStreamUrl, S::Anyone, readViewerStreamUrl },
        { chatcommand::kHostUrl, S::HostOnly, readHostUrl },
        { chatcommand::kStreamEnd, S::HostOnly, [](const Received&) {} },
        { chatcommand::kLianmaiList, S::HostOnly, readLianmaiList },
    });
    dispatcher.setHostTable({
        { chatcommand::kReceiveInvitation, S::Anyone, readInvitation },
        { chatcommand::kStreamUrl, S::Anyone, readHostStreamUrl },
    });
    dispatcher.setSenderIsHost([](const QString& chatId) { return chatId == QStringLiteral("host"); });
    return dispatcher;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const Dispatcher dispatcher = makeDispatcher();
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), int(size));
    const std::string cleaned = MeetingMainForm::cleanCommandText(text).toUtf8().toStdString();
    for (bool isHost : { false, true }) {
        const Dispatcher::Outcome outcome = dispatcher.dispatch(isHost, QStringLiteral("host"), cleaned);
        // Every field is read through the guarded reader: no handler fails.
        FUZZ_CHECK(outcome != Dispatcher::Outcome::Failed);
    }
    return 0;
}
