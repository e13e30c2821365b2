#pragma once

#include <QWidget>

class QAbstractButton;
class QButtonGroup;

// The product cards of a purchase page (up to four, one checked at a time). Choosing a card asks for an
// order of its product through `sig_createOrder`. GUI thread.
class VipPayButtonsForm : public QWidget {
    Q_OBJECT
public:
    explicit VipPayButtonsForm(int style, QWidget* parent = nullptr);

    // Rebuilds the cards from the product list of the kind (0 personal, 1 business).
    void buildButtons(int kind);
    // Checks the first card and asks for its order, unless a card is already checked.
    void selectFirst();
    QButtonGroup* group() const { return m_group; }

    static constexpr int kMaxCards = 4;

signals:
    void sig_createOrder(int product_id);

public slots:
    void slot_buttonClicked(QAbstractButton* btn);
    void slot_openUrl(QString url);

private:
    int m_style;
    QButtonGroup* m_group = nullptr;
};
