#include "app/meetingnotice.h"

#include "app/zovmeetingapplication.h"

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
    if (auto* app = qobject_cast<ZovMeetingApplication*>(QCoreApplication::instance()))
        app->showMessageBox(title, text, kind);
}

void setMeetingNoticeSink(MeetingNoticeSink sink_) { sink() = std::move(sink_); }
