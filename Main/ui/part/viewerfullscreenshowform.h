#pragma once

#include "media/i420frame.h"

#include <QWidget>

// The viewer's full-screen window. Created once by the application object without a parent and kept
// for the life of the process. Its renderer comes with the meeting forms; for now it only keeps the
// last frame it was given. GUI thread only.
class ViewerFullScreenShowForm : public QWidget {
    Q_OBJECT
public:
    explicit ViewerFullScreenShowForm(QWidget* parent = nullptr);

    void showFrame(I420FramePtr frame);
    I420FramePtr lastFrame() const { return m_lastFrame; }

signals:
    void cancelFullScreen();

private:
    I420FramePtr m_lastFrame;
};
