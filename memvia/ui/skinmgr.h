#pragma once

#include <QObject>
#include <QString>

class QWidget;

// The plug-in's style sheets by kind, scaled to the display: every pixel length ("12px") is multiplied by
// the display scale and truncated. A kind without a sheet, or a sheet that cannot be read, gives an empty
// style. One process-wide instance, created on first use and never destroyed. GUI thread.
class SkinMgr : public QObject {
    Q_OBJECT
public:
    static SkinMgr* instance();

    void applyStyle(int kind, QWidget* widget);
    QString scaleStyleSheet(const QString& path);

    // The resource of a kind; empty for a kind outside the table.
    static QString styleSheetPath(int kind);
    // The text with every "<1 to 4 digits>px" scaled; pure, for any scale.
    static QString scaleText(const QString& text, double scale);

private:
    explicit SkinMgr(QObject* parent = nullptr);
};
