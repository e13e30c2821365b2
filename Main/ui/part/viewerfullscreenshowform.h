#pragma once

#include "media/i420frame.h"

#include <QPointer>
#include <QWidget>

#include <memory>

class FullScreenToolForm;
class OpenGLWidget;
class PainterWidget;

namespace Ui {
class ViewerFullScreenShowForm;
}

// The viewer's full-screen window: one renderer (OpenGL where the platform offers it, else the painter)
// fills the frameless window, with the tool overlay on top. Esc or the overlay's button ask to leave full
// screen through cancelFullScreen; whoever shows the form hides it. Created once by the application object,
// when a meeting first needs it, without a parent and kept for the life of the process. GUI thread only; the
// renderer keeps the frames.
class ViewerFullScreenShowForm : public QWidget {
    Q_OBJECT
public:
    explicit ViewerFullScreenShowForm(QWidget* parent = nullptr);
    ~ViewerFullScreenShowForm() override;

    void showFrame(I420FramePtr frame);

    QWidget* renderer() const;
    OpenGLWidget* openGLRenderer() const;
    PainterWidget* painterRenderer() const;
    FullScreenToolForm* toolOverlay() const;

signals:
    void cancelFullScreen();

public slots:
    void slot_minimum();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::unique_ptr<Ui::ViewerFullScreenShowForm> ui;
    QPointer<FullScreenToolForm> toolForm;
    QPointer<QWidget> renderWidget;
    QPointer<OpenGLWidget> glWidget;
    QPointer<PainterWidget> painterWidget;
};
