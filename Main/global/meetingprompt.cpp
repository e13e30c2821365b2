#include "global/meetingprompt.h"

#include "ui/messageboxdialog.h"

namespace {

MeetingPromptHook& installedHook()
{
    static MeetingPromptHook hook;
    return hook;
}

} // namespace

void setMeetingPromptHook(MeetingPromptHook hook) { installedHook() = std::move(hook); }

bool hasMeetingPromptHook() { return bool(installedHook()); }

int runMeetingPrompt(const MeetingPrompt& prompt, QWidget* parent)
{
    if (installedHook())
        return installedHook()(prompt);
    MessageBoxDialog box(prompt.text, prompt.buttons, prompt.title, parent);
    box.setButtonTexts(prompt.okText, prompt.cancelText);
    return box.exec();
}
