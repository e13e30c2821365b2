#pragma once

#include <QToolButton>

// A page selector of the purchase dialog: icon, title and a one-line brief for personal or business
// purchase. GUI thread.
class VipSpeciesButton : public QToolButton {
    Q_OBJECT
public:
    explicit VipSpeciesButton(QWidget* parent = nullptr);

    void setKind(bool personal);
};
