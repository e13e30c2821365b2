#pragma once

#include <QObject>
#include <QString>

class QLayout;
class QWidget;

// Loads a style sheet into the widget it serves, scaling every "<number>px;" by the screen's DPI factor,
// and scales the margins and spacings of that widget's layouts.
// The manager is a Qt child of its widget and lives as long as it. GUI thread only.
// A style sheet that cannot be read leaves the widget's style sheet untouched; nothing else can fail.
class QssManager : public QObject {
    Q_OBJECT
public:
    // With `scaleLayouts` true the widget's layout tree is scaled at once.
    explicit QssManager(QWidget* widget, bool scaleLayouts = false);
    ~QssManager() override;

    void loadStyleSheet(const QString& path);
    QString scalePx(const QString& styleSheet) const;

    void scaleWidgetTree(QWidget* widget);
    void scaleLayout(QLayout* layout);

    // Primary screen's logical DPI / 96, read anew at every call; 1.0 without a screen.
    static double dpiScale();
    // Replaces the screen's factor while `scale` is above 0 (tests); 0 restores the screen's factor.
    static void setDpiScaleOverride(double scale);
};
