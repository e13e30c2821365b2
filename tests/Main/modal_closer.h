#pragma once

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>

#include <functional>

// Watches for the next modal dialog while a test runs code that opens one with exec(): hands it to
// `inspect` (which may answer it: a click, accept) and then rejects it if it is still open. Gives up after
// the deadline, so a dialog that never comes cannot hang the test.
class ModalCloser : public QObject {
public:
    explicit ModalCloser(std::function<void(QDialog*)> inspect = {}, int deadlineMs = 5000)
        : m_inspect(std::move(inspect))
    {
        m_deadline.setSingleShot(true);
        m_deadline.start(deadlineMs);
        connect(&m_poll, &QTimer::timeout, this, [this] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog && m_deadline.isActive())
                return;
            m_poll.stop();
            if (dialog) {
                seen = true;
                seenClass = dialog->metaObject()->className();
                if (m_inspect)
                    m_inspect(dialog);
                if (dialog->isVisible())
                    dialog->reject();
            }
        });
        m_poll.start(10);
    }

    bool seen = false;
    QByteArray seenClass; // class name of the dialog that came, empty when none did

private:
    std::function<void(QDialog*)> m_inspect;
    QTimer m_poll;
    QTimer m_deadline;
};
