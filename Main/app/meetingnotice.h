#pragma once

#include <QString>

#include <functional>

// The notices of the meeting forms. In production they go to the application object's message box; a test
// installs a sink that receives them instead. GUI thread only.
using MeetingNoticeSink = std::function<void(const QString& title, const QString& text, int kind)>;

void showMeetingNotice(const QString& title, const QString& text, int kind);
// An empty sink restores the message box.
void setMeetingNoticeSink(MeetingNoticeSink sink);
