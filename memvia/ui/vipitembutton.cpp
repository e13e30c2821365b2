#include "ui/vipitembutton.h"

#include "base/vip/productdata.h"
#include "ui/skinmgr.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

VipItemButton::VipItemButton(const ProductItem* product, int style, int index, QWidget* parent)
    : QToolButton(parent)
{
    const ProductItem item = product ? *product : ProductItem();
    m_productId = item.id;
    const double scale = Base::dpiScale();
    const bool business = style != 0;
    const auto makeLabel = [this](const char* name, const QString& text) {
        auto* label = new QLabel(text, this);
        label->setObjectName(name);
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
        return label;
    };
    QLabel* title = makeLabel("label_title", tr("%1").arg(item.name));
    title->setAlignment(Qt::AlignHCenter);
    QLabel* symbol = makeLabel(business ? "label_symbol_busi" : "label_symbol_user", QString::fromUtf8("￥"));
    symbol->setAlignment(Qt::AlignRight | Qt::AlignBottom);
    QLabel* price = makeLabel(business ? "label_price_busi" : "label_price_user", ProductItem::priceText(item.realPrice));
    QString unitText;
    if (business) {
        unitText = tr("原价￥%1").arg(ProductItem::priceText(item.primePrice));
    } else {
        // No per-month price for a product without a positive validity.
        const QString monthly = item.monthlyPriceText();
        if (!monthly.isEmpty())
            unitText = tr("仅需￥%1/月").arg(monthly);
    }
    QLabel* unit = makeLabel(business ? "label_unit_busi" : "label_unit_user", unitText);
    unit->setAlignment(Qt::AlignHCenter);
    setObjectName(business ? "toolButton_vipItem_busi"
                           : (index == 0 ? "toolButton_vipItem_user_first" : "toolButton_vipItem_user"));

    auto* row = new QHBoxLayout;
    row->setSpacing(0);
    row->addStretch();
    row->addWidget(symbol);
    row->addWidget(price);
    row->addStretch();
    auto* column = new QVBoxLayout(this);
    column->setSpacing(int(8 * scale));
    column->addStretch();
    column->addWidget(title);
    column->addLayout(row);
    column->addWidget(unit);
    column->addStretch();
    setFixedSize(int(140 * scale), int(122 * scale));
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    SkinMgr::instance()->applyStyle(6, this);
}
