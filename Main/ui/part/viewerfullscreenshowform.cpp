#include "ui/part/viewerfullscreenshowform.h"

#include "ui_viewerfullscreenshowform.h"

#include "global/openglpresence.h"
#include "media/openglwidget.h"
#include "media/painterwidget.h"
#include "ui/part/fullscreentoolform.h"
#include "win/qssmanager.h"

#include <QDebug>
#include <QGridLayout>
#include <QKeyEvent>

ViewerFullScreenShowForm::ViewerFullScreenShowForm(QWidget* parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::ViewerFullScreenShowForm>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setWindowTitle(tr("Tavicast"));
    (new QssManager(this, false))->loadStyleSheet(QStringLiteral(":/qss/part/viewerfullscreenshowform.css"));

    auto* overlayLayout = new QGridLayout;
    overlayLayout->setContentsMargins(0, 0, 0, 0);
    if (hasOpenGL()) {
        qDebug() << "[使用opengl窗口]";
        glWidget = new OpenGLWidget(this);
        renderWidget = glWidget.data();
    } else {
        qDebug() << "[使用painter窗口]";
        painterWidget = new PainterWidget(this);
        renderWidget = painterWidget.data();
    }
    toolForm = new FullScreenToolForm(renderWidget);
    connect(toolForm, &FullScreenToolForm::sig_showNormalWindow, this, &ViewerFullScreenShowForm::slot_minimum);
    overlayLayout->addWidget(toolForm);
    renderWidget->setLayout(overlayLayout);
    if (!layout()) {
        auto* formLayout = new QGridLayout(this);
        formLayout->setContentsMargins(0, 0, 0, 0);
        formLayout->addWidget(renderWidget);
    }
    installEventFilter(this);
}

ViewerFullScreenShowForm::~ViewerFullScreenShowForm()
{
    delete glWidget.data();
    delete painterWidget.data();
}

void ViewerFullScreenShowForm::showFrame(I420FramePtr frame)
{
    if (glWidget)
        glWidget->setFrame(frame);
    if (painterWidget)
        painterWidget->setFrame(frame);
    frame.reset();
}

QWidget* ViewerFullScreenShowForm::renderer() const { return renderWidget.data(); }

OpenGLWidget* ViewerFullScreenShowForm::openGLRenderer() const { return glWidget.data(); }

PainterWidget* ViewerFullScreenShowForm::painterRenderer() const { return painterWidget.data(); }

FullScreenToolForm* ViewerFullScreenShowForm::toolOverlay() const { return toolForm.data(); }

void ViewerFullScreenShowForm::slot_minimum() { emit cancelFullScreen(); }

// Every Esc key event that reaches the form asks to leave full screen, press and release alike; hiding a
// form that is hidden already does nothing.
bool ViewerFullScreenShowForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == this && (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        emit cancelFullScreen();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
