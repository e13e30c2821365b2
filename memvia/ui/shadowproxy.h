#pragma once

#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include <array>

class QWidget;

// The drop shadow of a frameless window: eight edge and corner images around a white card, painted before
// the host's own content, with the host's contents margins as the shadow's room. Only where a compositing
// manager draws translucent windows; otherwise the host keeps an opaque background and no margins, so no
// black border shows. Maximised windows have no shadow. Child of the host; GUI thread.
class ShadowProxy : public QObject {
    Q_OBJECT
public:
    explicit ShadowProxy(QWidget* host);
    ~ShadowProxy() override;

    int shadowWidth() const { return m_shadowWidth; }
    bool isEnabled() const { return m_enabled; }

    bool eventFilter(QObject* watched, QEvent* event) override;

    static constexpr int kShadowWidth = 5;

private:
    void setShadowWidth(int width);
    void paint();

    QPointer<QWidget> m_host;
    std::array<QPixmap, 8>
        m_pixmaps; // left, right, top, bottom, left-top, right-top, left-bottom, right-bottom
    int m_shadowWidth = kShadowWidth;
    bool m_enabled = false;
};
