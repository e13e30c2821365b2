#include "ui/vipspeciesbutton.h"

#include "base/base.h"
#include "ui/compositor.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

VipSpeciesButton::VipSpeciesButton(QWidget* parent)
    : QToolButton(parent)
{
}

void VipSpeciesButton::setKind(bool personal)
{
    memvia::ensureResources();
    delete layout();
    qDeleteAll(findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly));
    auto* icon = new QLabel(this);
    icon->setObjectName("label_headImg");
    auto* title = new QLabel(personal ? tr("个人购买") : tr("商业购买"), this);
    title->setObjectName("label_btitle");
    auto* brief = new QLabel(personal ? tr("个人使用，方便快捷") : tr("商业授权，正版保障"), this);
    brief->setObjectName("label_brief");
    brief->setAlignment(Qt::AlignHCenter);
    const int side = int(30 * Base::dpiScale());
    icon->setPixmap(QPixmap(personal ? ":/imgs/user_vip.png" : ":/imgs/corporate_vip.png")
                        .scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    // Clicks go to the button, not to its labels.
    for (QLabel* label : { icon, title, brief })
        label->setAttribute(Qt::WA_TransparentForMouseEvents);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addStretch();
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(icon);
    row->addWidget(title);
    row->addStretch();
    column->addLayout(row);
    column->addWidget(brief);
    column->addStretch();
}
