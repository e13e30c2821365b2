#pragma once

#include <QToolButton>

struct ProductItem;

// One product as a selectable card: name, price and the price per month. Keeps what it shows; the product
// may go away after construction. GUI thread.
class VipItemButton : public QToolButton {
    Q_OBJECT
public:
    VipItemButton(const ProductItem* product, int style, int index, QWidget* parent = nullptr);

    int productId() const { return m_productId; }

private:
    int m_productId = -1;
};
