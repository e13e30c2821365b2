#include "ui/Dialog/copysharetipsdialog.h"

#include "ui_copysharetipsdialog.h"

#include "global/windowkitnames.h"
#include "win/framelessframe.h"
#include "win/qssmanager.h"

#include <QVariant>

CopyShareTipsDialog::CopyShareTipsDialog(QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::CopyShareTipsDialog>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    (new QssManager(this, true))->loadStyleSheet(QStringLiteral(":/qss/dialog/copy-share-tips-dialog.css"));
    setFixedSize(QSize(330, 180) * QssManager::dpiScale());

    // The whole dialog is the drag band; only the two controls take clicks.
    setProperty(windowkit::kHeaderButtons,
        QVariant::fromValue(QList<QObject*> { ui->checkBox_not_reminder, ui->pushButton_ok }));
    setProperty(windowkit::kHeaderVisible, false);
    setProperty(windowkit::kHeaderHeight, height());
    requestFramelessFrame(this);
}

CopyShareTipsDialog::~CopyShareTipsDialog() = default;

bool CopyShareTipsDialog::isNotRemind() const { return ui->checkBox_not_reminder->isChecked(); }

void CopyShareTipsDialog::on_pushButton_ok_clicked() { accept(); }
