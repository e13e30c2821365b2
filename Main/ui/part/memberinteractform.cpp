#include "ui/part/memberinteractform.h"

#include "ui_memberinteractform.h"

#include "global/meetingtimings.h"
#include "win/qssmanager.h"

#include <bridge/bg_log.h>

#include <QFontMetrics>
#include <QMovie>
#include <QTimer>

namespace {

constexpr char kStyleSheet[] = ":/qss/part/item/memberinteractform.css";
constexpr char kCallMovie[] = ":/image/memState_call.gif";
constexpr char kWaitIcon[] = ":/image/memState_wait.png";
constexpr char kSilenceIcon[] = ":/image/memState_silence.png";

} // namespace

MemberInteractForm::MemberInteractForm(QWidget* parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::MemberInteractForm>())
{
    ui->setupUi(this);
    // A member names itself: its name is shown as it is, never as markup.
    ui->label_name->setTextFormat(Qt::PlainText);
    (new QssManager(this, false))->loadStyleSheet(QString::fromLatin1(kStyleSheet));
    ui->label_member_avatar->show();
    ui->label_member_status->setText(QString());
    ui->widget_stream->hide();
    m_callMovie = new QMovie(QString::fromLatin1(kCallMovie), QByteArray(), this);
    m_callMovie->start();
    ui->label_member_status->setScaledContents(true);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, &MemberInteractForm::OnCustemContextMenuRequested);
    setMouseTracking(true);
    setStatusIcon(false, 0);
}

MemberInteractForm::~MemberInteractForm() { m_callMovie->stop(); }

void MemberInteractForm::initSource(const char* sourceId)
{
    m_sourceId = QString::fromUtf8(sourceId ? sourceId : "");
    bindSource();
}

void MemberInteractForm::refresh()
{
    if (m_bound)
        bindSource();
}

void MemberInteractForm::bindSource()
{
    const QSize size = ui->label_member_avatar->size();
    ui->label_member_avatar->hide();
    ui->widget_stream->show();
    ui->widget_stream->setFixedSize(size);
    const QByteArray id = m_sourceId.toUtf8();
    ui->widget_stream->InitializeSource(id.constData());
    BG_LOGD("[Init_source_id]:%s", id.constData());
    m_bound = true;

    // The source widget lays its picture out again only when its size changes once it is visible.
    const int step = meetingTimings().tileResizeStepMs;
    SourceWidget* stream = ui->widget_stream;
    QTimer::singleShot(step, this, [this, stream, size, step] {
        stream->setFixedSize(size.width(), size.height() + 1);
        QTimer::singleShot(step, this, [stream, size] { stream->setFixedSize(size); });
    });
}

void MemberInteractForm::finalizePreview()
{
    BG_LOGD("[调用FinalizePreview]:%s", ui->label_name->text().toUtf8().constData());
    ui->widget_stream->FinalizeSource();
    ui->label_member_avatar->show();
    ui->widget_stream->hide();
    m_bound = false;
}

void MemberInteractForm::setMemberName(const QString& name)
{
    ui->label_name->setText(QFontMetrics(ui->label_name->font()).elidedText(name, Qt::ElideRight, width()));
}

void MemberInteractForm::setStatusIcon(bool present, int kind)
{
    m_present = present;
    m_kind = kind;
    const double scale = QssManager::dpiScale();
    QLabel* status = ui->label_member_status;
    if (!present) {
        status->setMovie(nullptr);
        status->setFixedSize(int(16 * scale), int(16 * scale));
        status->setPixmap(QPixmap(QString::fromLatin1(kWaitIcon)));
        status->show();
    } else if (kind == 1) {
        status->setFixedSize(int(16 * scale), int(20 * scale));
        status->setMovie(m_callMovie);
        status->show();
    } else if (kind == 2) {
        status->setMovie(nullptr);
        status->setFixedSize(int(16 * scale), int(20 * scale));
        status->setPixmap(QPixmap(QString::fromLatin1(kSilenceIcon)));
        status->show();
    } else {
        status->hide();
    }
}

void MemberInteractForm::OnCustemContextMenuRequested(const QPoint&) { emit ContextMenuRequested(m_userId); }
