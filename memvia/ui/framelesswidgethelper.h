#pragma once

#include "ui/basicframelesshelper.h"

class ShadowProxy;
class TitleHeader;

// Turns a dialog or main window into a frameless window with the plug-in's title bar and shadow, moved by
// its title band and resized at its edges. The host's properties "header_visible", "header_color",
// "header_btns" and "header_height" shape the bar; set them first.
//
// Child of the host, like the bar and the shadow: all go with the host. The window is registered with
// NativeEventFilter when the host's native window is created (again when it is re-created). GUI thread.
class FramelessWidgetHelper : public BasicFramelessHelper {
    Q_OBJECT
public:
    explicit FramelessWidgetHelper(QWidget* host);

    // The host's helper, made on the first call; later calls for the same host change nothing.
    static FramelessWidgetHelper* frame(QWidget* host);
    static FramelessWidgetHelper* helperOf(const QWidget* host);

    TitleHeader* titleHeader() const { return m_titleHeader; }
    ShadowProxy* shadow() const { return m_shadow; }

    bool eventFilter(QObject* watched, QEvent* event) override;
    bool handleWindowEvent(QEvent* event) override;
    bool isCaptionPoint(int x, int y) override;

private:
    void placeHeader(QWidget* host);
    void registerWindow();

    TitleHeader* m_titleHeader = nullptr;
    ShadowProxy* m_shadow = nullptr;
};
