#include "ui/vippaybuttonsform.h"

#include "base/vip/productdata.h"
#include "base/vip/vippaths.h"
#include "ui/vipitembutton.h"

#include <QButtonGroup>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QUrl>

VipPayButtonsForm::VipPayButtonsForm(int style, QWidget* parent)
    : QWidget(parent)
    , m_style(style)
{
    m_group = new QButtonGroup(this);
    m_group->setExclusive(true);
    connect(m_group, QOverload<QAbstractButton*>::of(&QButtonGroup::buttonClicked), this,
        &VipPayButtonsForm::slot_buttonClicked);
}

void VipPayButtonsForm::buildButtons(int kind)
{
    // A new list replaces the cards of the previous one.
    for (QAbstractButton* button : m_group->buttons()) {
        m_group->removeButton(button);
        delete button;
    }
    delete findChild<QLabel*>("label_groupBuy", Qt::FindDirectChildrenOnly);
    delete layout();

    const double scale = Base::dpiScale();
    const std::vector<ProductItem>& list
        = kind == 1 ? ProductData::instance()->business() : ProductData::instance()->personal();
    auto* row = new QHBoxLayout;
    const int count = std::min<int>(kMaxCards, int(list.size()));
    for (int i = 0; i < count; ++i) {
        auto* button = new VipItemButton(&list[size_t(i)], m_style, i, this);
        m_group->addButton(button, list[size_t(i)].id);
        row->addWidget(button);
    }
    if (kind == 1) {
        auto* groupBuy = new QLabel(this);
        groupBuy->setObjectName("label_groupBuy");
        const QString link = QString::fromStdString(Base::websiteUrl(vippages::kCustomerService));
        groupBuy->setText(tr("如需团队购买，请") + QString("<a href=\"%1\" style=\"color:#009FFF;\"><u>%2</u></a>")
                                                      .arg(link.toHtmlEscaped(), tr("联系客服")));
        groupBuy->setTextFormat(Qt::RichText);
        groupBuy->setAlignment(Qt::AlignBottom);
        connect(groupBuy, &QLabel::linkActivated, this, &VipPayButtonsForm::slot_openUrl);
        row->addWidget(groupBuy);
        groupBuy->show();
    }
    row->addStretch();
    row->setSpacing(int(10 * scale));
    row->setContentsMargins(0, int(6 * scale), 0, int(6 * scale));
    setLayout(row);
}

void VipPayButtonsForm::selectFirst()
{
    if (m_group->checkedButton() || m_group->buttons().isEmpty())
        return;
    auto* first = qobject_cast<VipItemButton*>(m_group->buttons().first());
    first->setChecked(true);
    emit sig_createOrder(first->productId());
}

void VipPayButtonsForm::slot_buttonClicked(QAbstractButton* btn)
{
    if (auto* item = qobject_cast<VipItemButton*>(btn))
        emit sig_createOrder(item->productId());
}

void VipPayButtonsForm::slot_openUrl(QString url)
{
    const QUrl address(url, QUrl::TolerantMode);
    const QString scheme = address.scheme().toLower();
    if (scheme == "http" || scheme == "https")
        QDesktopServices::openUrl(address);
}
