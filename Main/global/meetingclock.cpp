#include "global/meetingclock.h"

#include <QDateTime>

namespace {

MeetingClockSource& installedClock()
{
    static MeetingClockSource clock;
    return clock;
}

} // namespace

void setMeetingClock(MeetingClockSource source) { installedClock() = std::move(source); }

qint64 meetingNowMs()
{
    return installedClock() ? installedClock()() : QDateTime::currentMSecsSinceEpoch();
}

qint64 meetingNowSecs() { return meetingNowMs() / 1000; }
