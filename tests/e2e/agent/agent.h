#pragma once

#include "controlserver.h"

#include <QJsonArray>
#include <QObject>
#include <QString>

#include <vector>

class ZovMeetingApplication;
struct MeetingPrompt;

// Stores the account and its password digest with automatic sign-in on, as the login dialog keeps them;
// the login dialog signs in with them once it runs its automatic sign-in. False without both texts.
bool presetSignIn(const QString& account, const QString& password);

// The participant agent inside one running client: answers the control socket by driving and reading the
// client's real widgets, records every message box, meeting prompt and context menu, and feeds the studio's
// desktop sources the colour-bar pattern. Prompts are answered by the rules the test set ("answer": a part of
// the prompt's text, the button, a delay during which the prompt stays open as a modal box would), else
// with their first button at once. The camera dialog's prompt picks the synthetic camera at 320 x 240.
// Lives on the GUI thread for the application's life.
class Agent : public QObject {
    Q_OBJECT
public:
    explicit Agent(ZovMeetingApplication& app, QObject* parent = nullptr);
    ~Agent() override;

    bool listen(const QString& controlPath, QString* error) { return m_control.listen(controlPath, error); }

private:
    struct PromptRule {
        QString match; // a part of the prompt's text
        int answer = 1; // 1 the first button, 0 the other
        int delayMs = 0;
    };

    void addCommands();
    void addMeetingCommands();
    void recordMessage(const QString& kind, const QString& title, const QString& text, int buttons);
    int answerPrompt(const MeetingPrompt& prompt);

    ZovMeetingApplication& m_app;
    ControlServer m_control;
    QJsonArray m_messages;
    std::vector<PromptRule> m_promptRules;
    QJsonArray m_menus; // every context menu run: its items and the one chosen
    QString m_menuChoice; // the item the next context menu chooses; empty: dismissed
};

// Options of the agent's command line that reach the client's settings before any meeting starts.
// "video.size" as WIDTHxHEIGHT and "video.fps"; false when a value does not parse.
bool presetVideo(const QString& size, const QString& fps);
