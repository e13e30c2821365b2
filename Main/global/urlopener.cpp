#include "global/urlopener.h"

#include <QDesktopServices>
#include <QInputDialog>
#include <QLayout>
#include <QUrl>

namespace {

UrlOpener& currentOpener()
{
    static UrlOpener opener;
    return opener;
}

} // namespace

void setUrlOpener(UrlOpener opener) { currentOpener() = std::move(opener); }

bool openUrl(const QUrl& url)
{
    const UrlOpener& opener = currentOpener();
    return opener ? opener(url) : QDesktopServices::openUrl(url);
}

bool openUrlOrShowAddress(QWidget* parent, const QString& address)
{
    if (openUrl(QUrl(address, QUrl::TolerantMode)))
        return true;
    QInputDialog dialog(parent);
    dialog.setOptions(QInputDialog::NoButtons);
    dialog.setLabelText(QString::fromUtf8("复制以下地址到浏览器中打开:"));
    dialog.setWindowTitle(QString::fromUtf8("启动默认浏览器失败"));
    dialog.setTextValue(address);
    // The input dialog's own layout would hold it at its contents' height: build that layout now and let
    // the fixed size rule.
    dialog.sizeHint();
    if (QLayout* layout = dialog.layout())
        layout->setSizeConstraint(QLayout::SetDefaultConstraint);
    dialog.setFixedSize(350, 100);
    dialog.exec();
    return false;
}
