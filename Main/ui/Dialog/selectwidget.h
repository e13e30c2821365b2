#pragma once

#include "win/qaerowidget.h"

#include <QRectF>

#include <array>

// The thin, top-most frame drawn round a recorded screen area: a dashed ring one pixel outside the area and
// an L-shaped bar in each corner. Mouse input passes through it to the windows beneath. Where no compositing
// manager runs, the window is masked to the ring and the bars, so it never covers the area. Owned by the
// recording-area item. GUI thread only.
class SelectWidget : public QAeroWidget {
    Q_OBJECT
public:
    explicit SelectWidget(QWidget* parent = nullptr, Qt::WindowFlags f = {});
    ~SelectWidget() override;

    // `area` in physical desktop pixels; `interval` in milliseconds between re-raises, none when 0 or less.
    void setRect(const QRectF& area, int interval);

    int refreshTimerId() const { return m_timerId; }
    // A horizontal 32 x 4 and a vertical 4 x 32 bar flush with each corner of a widget of `size`.
    static std::array<QRectF, 8> cornerBars(const QSize& size);

signals:
    // Declared for listeners; the frame cannot be moved, so it is never sent.
    void sg_rect(QRect rect);

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void paintFrame(QPainter& painter);
    void updateMask();

    int m_timerId = 0;
    std::array<QRectF, 8> m_bars;
};
