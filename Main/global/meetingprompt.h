#pragma once

#include <QString>

#include <functional>

class QWidget;

// The modal questions and notices of a running meeting. In production each one runs the program's modal
// message box; a test installs a hook that records the prompt and answers it at once, so no meeting flow
// waits on a user. GUI thread only.
struct MeetingPrompt {
    QString title;
    QString text;
    int buttons = 1; // as MessageBoxDialog: 1 OK only, 3 both buttons
    QString okText; // empty keeps the box's own caption
    QString cancelText;
};

// Returns what the message box would: 1 when the first button was pressed, 0 otherwise.
using MeetingPromptHook = std::function<int(const MeetingPrompt& prompt)>;

// An empty hook restores the message box.
void setMeetingPromptHook(MeetingPromptHook hook);
bool hasMeetingPromptHook();

// Runs the prompt through the hook, else as a modal message box over `parent`.
int runMeetingPrompt(const MeetingPrompt& prompt, QWidget* parent = nullptr);
