#include "ui/userheaderform.h"

#include "base/memvialog.h"
#include "base/vip/vipdata.h"
#include "ui/compositor.h"

#include <korvex/zovnet.h>

#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QThreadPool>

namespace {

constexpr int kSquare = 116;

size_t appendBlock(const char* data, size_t size, size_t count, Zov_Client::ZovNet::DownCb* record)
{
    static_cast<QByteArray*>(record->user)->append(data, int(size * count));
    return size * count;
}

const QPixmap& resourcePixmap(int which)
{
    memvia::ensureResources();
    static const QPixmap pixmaps[] = { QPixmap(":/imgs/user_head.png"), QPixmap(":/imgs/vip_head.png"),
        QPixmap(":/imgs/vip_not.png") };
    return pixmaps[which];
}

} // namespace

UserHeaderForm::UserHeaderForm(QWidget* parent)
    : QWidget(parent)
{
    setObjectName("UserHeaderForm");
    setWindowTitle("Form");
    resize(124, 94);
}

void UserHeaderForm::setAvatar(const QString& url)
{
    const unsigned generation = ++m_generation;
    if (url.isEmpty()) {
        m_avatar = QPixmap();
        update();
        return;
    }
    if (!url.startsWith(QLatin1String("http")))
        return;
    QPointer<UserHeaderForm> self(this);
    const std::string address = url.toStdString();
    QThreadPool::globalInstance()->start([self, generation, address] {
        QByteArray bytes;
        Zov_Client::ZovNet::DownCb record;
        record.receive = appendBlock;
        record.user = &bytes;
        const Zov_Client::ZovResponse response
            = Zov_Client::ZovNet::downLoad(address, &record, kMaxAvatarBytes, kAvatarTimeoutMs);
        QObject* application = QCoreApplication::instance();
        if (!application)
            return;
        const int status = response.status;
        QMetaObject::invokeMethod(
            application,
            [self, generation, status, bytes, address] {
                if (self)
                    self->onDownloaded(generation, status, bytes, QString::fromStdString(address));
            },
            Qt::QueuedConnection);
    });
}

void UserHeaderForm::onDownloaded(unsigned generation, int status, const QByteArray& bytes, const QString& url)
{
    if (generation != m_generation)
        return;
    QImage image;
    if (status != 200 || !image.loadFromData(bytes)) {
        BG_LOGE("图片下载失败：%s", url.toUtf8().constData());
        emit avatarLoaded(false);
        return;
    }
    m_avatar = QPixmap::fromImage(image);
    update();
    emit avatarLoaded(true);
}

void UserHeaderForm::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRect square((width() - kSquare) / 2, (height() - kSquare) / 2, kSquare, kSquare);
    painter.drawPixmap(square, m_avatar.isNull() ? resourcePixmap(0) : m_avatar);
    painter.drawPixmap(square, resourcePixmap(VipData::instance()->isMember() ? 1 : 2));
}
