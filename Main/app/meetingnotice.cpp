#include "app/meetingnotice.h"

#include "app/zovmeetingapplication.h"
#include "global/meetingprompt.h"

#include <QCoreApplication>

namespace {

MeetingNoticeSink& sink()
{
    static MeetingNoticeSink installed;
    return installed;
}

} // namespace

void showMeetingNotice(const QString& title, const QString& text, int kind)
{
    if (sink()) {
        sink()(title, text, kind);
        return;
    }
    if (hasMeetingPromptHook()) {
        MeetingPrompt prompt;
        prompt.title = title;
        prompt.text = text;
        prompt.buttons = kind;
        runMeetingPrompt(prompt);
        return;
    }
    if (auto* app = qobject_cast<ZovMeetingApplication*>(QCoreApplication::instance()))
        app->showMessageBox(title, text, kind);
}

void setMeetingNoticeSink(MeetingNoticeSink sink_) { sink() = std::move(sink_); }
