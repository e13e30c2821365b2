#pragma once

#include <QWidget>

#include <dwm/dwmapi.h>

// Base of translucent top-level widgets. Mode 0 is plain, 1 extends the glass frame over the whole window,
// 2 blurs what lies behind the window, 3 is a frameless translucent window. The blur and glass calls are
// looked up by name at every construction; a missing back-end or entry point costs the effect only (a
// warning), never the window. On Linux the back-end reports no composition, so modes 1 and 2 look like
// plain translucent windows. GUI thread only.
class QAeroWidget : public QWidget {
    Q_OBJECT
public:
    explicit QAeroWidget(QWidget* parent = nullptr, Qt::WindowFlags flags = {});
    ~QAeroWidget() override;

    // Subclasses call it in their constructors; mode 3 replaces every window flag by the frameless one.
    void setupWindow(int mode);
    bool isCompositionEnabled();

    using DwmResolver = dwm::Proc (*)(const char* name);
    // The look-up used by later constructions; null stands for a back-end that cannot be loaded (tests).
    static void setDwmResolver(DwmResolver resolver);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void resolveDwmApi();
    QWidget* topLevelAncestor();

    int aeroMode = 2;
    double fillAlpha = 0.0;
};
