#pragma once

class QWidget;

// Asks the membership module to wrap `widget` in its frameless frame (title header, dragging, shadow); the
// module reads the widget's header properties (global/windowkitnames.h), so set them first.
// Does nothing while the framework is down or the module is not loaded; the module's reply is not used.
// GUI thread only.
void requestFramelessFrame(QWidget* widget);
