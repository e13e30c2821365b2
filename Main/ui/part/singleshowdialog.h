#pragma once

#include "win/resizeinterface.h"

#include <QDialog>
#include <QList>
#include <QRect>

#include <memory>

namespace Ui {
class SingleShowDialog;
}

// Whether a point of a dialog (dialog coordinates) lies in its title area: not below `titleHeight` and not
// inside any of `buttons` (each a rectangle in dialog coordinates, edges included).
bool isInTitleArea(const QPoint& point, int titleHeight, const QList<QRect>& buttons);

// Shows one widget alone in a frameless, always-on-top window of fixed width that the membership module
// frames (title header, dragging, shadow) from the dialog's header properties. The shown widget becomes
// the dialog's child; the title widgets are the shown widget's and are not owned. GUI thread only.
class SingleShowDialog : public QDialog, public ResizeInterface {
    Q_OBJECT
public:
    SingleShowDialog(QWidget* content, const QList<QWidget*>& titleWidgets, int titleHeight,
        const QString& styleSheet, QWidget* parent = nullptr);
    ~SingleShowDialog() override;

    // No edge resizes the dialog; the title area is the top titleHeight pixels but the title buttons.
    bool isOnTopEdge(QPoint point) override;
    bool isOnBottomEdge(QPoint point) override;
    bool isOnLeftEdge(QPoint point) override;
    bool isOnRightEdge(QPoint point) override;
    bool isOnCaption(QPoint point) override;
    void onSizing(int edgeFlags, long* top, long* bottom, long* left, long* right) override;

private:
    std::unique_ptr<Ui::SingleShowDialog> ui;
    QList<QWidget*> titleWidgets;
    int titleHeight = 0;
};
