#pragma once

#include <QtGlobal>

#include <functional>

// The wall clock of the meeting forms (the live clock, its limit). Tests replace it to move time on
// without waiting; an empty source restores the system clock. GUI thread only.
using MeetingClockSource = std::function<qint64()>; // milliseconds since the epoch

void setMeetingClock(MeetingClockSource source);
qint64 meetingNowMs();
qint64 meetingNowSecs();
