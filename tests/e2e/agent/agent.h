#pragma once

#include "controlserver.h"

#include <QJsonArray>
#include <QObject>

class ZovMeetingApplication;

// Stores the account and its password digest with automatic sign-in on, as the login dialog keeps them;
// the login dialog signs in with them once it runs its automatic sign-in. False without both texts.
bool presetSignIn(const QString& account, const QString& password);

// The participant agent inside one running client: answers the control socket by driving and reading the
// client's real widgets, records every message box and meeting prompt (answering prompts with their first
// button), and feeds the studio's desktop sources the colour-bar pattern. Lives on the GUI thread for the
// application's life.
class Agent : public QObject {
    Q_OBJECT
public:
    explicit Agent(ZovMeetingApplication& app, QObject* parent = nullptr);
    ~Agent() override;

    bool listen(const QString& controlPath, QString* error) { return m_control.listen(controlPath, error); }

private:
    void addCommands();
    void recordMessage(const QString& kind, const QString& title, const QString& text, int buttons);

    ZovMeetingApplication& m_app;
    ControlServer m_control;
    QJsonArray m_messages;
};
