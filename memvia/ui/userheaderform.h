#pragma once

#include <QPixmap>
#include <QWidget>

// The account's avatar in a 116-pixel square with the membership badge over it.
//
// `setAvatar` downloads an http(s) picture on Qt's global thread pool (at most 2 MiB, 10 s) and shows it on
// the GUI thread; a failed download keeps the previous picture. A download may outlive the form: its result
// is dropped then, and so is the result of a download a newer `setAvatar` replaced. GUI thread.
class UserHeaderForm : public QWidget {
    Q_OBJECT
public:
    explicit UserHeaderForm(QWidget* parent = nullptr);

    void setAvatar(const QString& url);
    QPixmap avatar() const { return m_avatar; }

    static constexpr long long kMaxAvatarBytes = 2 * 1024 * 1024;
    static constexpr long long kAvatarTimeoutMs = 10 * 1000;

signals:
    // After a download ended, whether it changed the avatar or not (for whoever waits for it).
    void avatarLoaded(bool changed);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void onDownloaded(unsigned generation, int status, const QByteArray& bytes, const QString& url);

    QPixmap m_avatar;
    unsigned m_generation = 0;
};
