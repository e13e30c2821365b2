#include "ui/Dialog/qrcodewidget.h"

#include "ui_qrcodewidget.h"

#include "global/loginkeys.h"
#include "win/qssmanager.h"

#include <bridge/bg_log.h>

#include <korvex/zovnet.h>

#include <QCoreApplication>
#include <QDebug>
#include <QImage>
#include <QMovie>
#include <QPainter>
#include <QPointer>
#include <QThreadPool>

// One picture download: filled on the pool thread, applied on the GUI thread when its widget still exists
// and has asked for nothing newer since.
struct QRCodeWidget::Download {
    QPointer<QRCodeWidget> widget; // read on the GUI thread only
    quint64 serial = 0;
    std::string url;
    QImage image;
};

QRCodeWidget::QRCodeWidget(QWidget* parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::QRCodeWidget>())
{
    ui->setupUi(this);
    auto* qss = new QssManager(this, true);
    qss->loadStyleSheet(QString::fromLatin1(kQrCodeStyleSheet));
    m_movie = new QMovie(QString::fromLatin1(kLoadingGif), QByteArray(), this);
}

QRCodeWidget::~QRCodeWidget() = default;

void QRCodeWidget::load(int mode, const QString& url)
{
    m_mode = mode;
    switch (mode) {
    case Loading:
        update();
        m_movie->start();
        ui->label_gif->setMovie(m_movie);
        ui->label_gif->show();
        update();
        break;
    case Image: {
        // Looks as it did (loading) until the picture is there.
        m_mode = Loading;
        if (!url.startsWith(QLatin1String("http"), Qt::CaseInsensitive))
            break;
        auto download = std::make_shared<Download>();
        download->widget = this;
        download->serial = ++m_lastDownload;
        download->url = url.toStdString();
        QThreadPool::globalInstance()->start([download] { downloadImage(download); });
        break;
    }
    case RefreshPrompt:
        // The prompt replaces the animation rather than sitting beside it.
        ui->label_gif->hide();
        m_movie->stop();
        m_pixmap = QPixmap();
        update();
        break;
    default:
        break;
    }
}

namespace {

size_t receive(const char* data, size_t size, size_t count, Zov_Client::ZovNet::DownCb* record)
{
    static_cast<QByteArray*>(record->user)->append(data, int(size * count));
    return size * count;
}

} // namespace

void QRCodeWidget::downloadImage(std::shared_ptr<Download> download)
{
    QByteArray buffer;
    Zov_Client::ZovNet::DownCb record;
    record.receive = &receive;
    record.user = &buffer;
    const Zov_Client::ZovResponse response
        = Zov_Client::ZovNet::downLoad(download->url, &record, kMaxPictureBytes, kDownloadTimeoutMs);
    if (response.status != 200) {
        BG_LOGE("图片下载失败：%s", download->url.c_str());
        return;
    }
    download->image = QImage::fromData(buffer);
    if (!download->image.isNull())
        qDebug() << "图片加载成功！";
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [download] {
            QRCodeWidget* widget = download->widget;
            if (!widget || download->serial != widget->m_lastDownload)
                return;
            widget->m_pixmap = QPixmap::fromImage(download->image);
            QMetaObject::invokeMethod(widget, "ShowQRCode", Qt::AutoConnection);
        },
        Qt::QueuedConnection);
}

void QRCodeWidget::ShowQRCode()
{
    ui->label_gif->hide();
    m_movie->stop();
    m_mode = Image;
    emit sigState(0);
    update();
}

void QRCodeWidget::on_toolButton_login_qrcodeRefresh_clicked() { emit sigRefresh(); }

void QRCodeWidget::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    QPainter painter(this);
    const bool prompt = m_mode == RefreshPrompt;
    ui->label_note->setVisible(prompt);
    ui->toolButton_login_qrcodeRefresh->setVisible(prompt);
    switch (m_mode) {
    case Blank:
        painter.fillRect(rect(), Qt::white);
        break;
    case Loading:
    case RefreshPrompt:
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(QColor(0xEE, 0xEE, 0xEE));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
        break;
    case Image:
        if (!m_pixmap.isNull())
            painter.drawPixmap(rect(), m_pixmap);
        break;
    default:
        break;
    }
}
