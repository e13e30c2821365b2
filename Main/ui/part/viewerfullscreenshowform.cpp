#include "ui/part/viewerfullscreenshowform.h"

ViewerFullScreenShowForm::ViewerFullScreenShowForm(QWidget* parent)
    : QWidget(parent)
{
    setObjectName("ViewerFullScreenShowForm");
}

void ViewerFullScreenShowForm::showFrame(I420FramePtr frame) { m_lastFrame = std::move(frame); }
