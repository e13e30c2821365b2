#include "ui/Dialog/viprightshowdialog.h"

#include "app/zovmeetingapplication.h"
#include "global/servicehosts.h"
#include "global/urlopener.h"
#include "global/windowkitnames.h"
#include "win/framelessframe.h"
#include "win/qssmanager.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QVariant>

namespace {

constexpr char kStyleSheet[] = ":/qss/dialog/vip-right-show-dialog.css";
constexpr char kCheckMark[] = ":/image/icon_ok.png";
constexpr char kHasRight[] = "1";
constexpr char kContactLink[] = "<html><head/><body><p><a href=\"%1\" style=\"text-decoration:underline; "
                                "color:#3597FF;\">%2</a></p></body></html>";
constexpr int kCheckRowHeight = 40;
constexpr int kTextRowHeight = 60;

VIPRightShowDialog::RightsSource& rightsSource()
{
    static VIPRightShowDialog::RightsSource source;
    return source;
}

void readRights(VIPRightShowDialog::Rights& rights, QString& brief)
{
    if (rightsSource()) {
        rightsSource()(rights, brief);
        return;
    }
    if (auto* app = qobject_cast<ZovMeetingApplication*>(QCoreApplication::instance()))
        app->vipRights(rights, brief);
}

QLabel* centredLabel(const QString& text, QWidget* parent, const char* name = nullptr)
{
    auto* label = new QLabel(parent);
    // Keys and values come from the service: never read as markup.
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setAlignment(Qt::AlignCenter);
    if (name)
        label->setObjectName(name);
    return label;
}

} // namespace

void VIPRightShowDialog::setRightsSource(RightsSource source) { rightsSource() = std::move(source); }

VIPRightShowDialog::VIPRightShowDialog(QWidget* parent)
    : QDialog(parent)
{
    buildForm();
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    (new QssManager(this, false))->loadStyleSheet(QString::fromLatin1(kStyleSheet));
    const double scale = QssManager::dpiScale();
    setFixedWidth(int(490 * scale));
    const int titleHeight = int(30 * scale);
    m_title->setFixedHeight(titleHeight);
    setProperty(windowkit::kHeaderButtons, QVariant::fromValue(QList<QObject*> { m_close }));
    setProperty(windowkit::kHeaderHeight, titleHeight);
    setProperty(windowkit::kHeaderVisible, false);
    requestFramelessFrame(this);
    initRightsTable();
}

VIPRightShowDialog::~VIPRightShowDialog()
{
    // The cells still live here (children go after this body); a posted deletion is dropped with them.
    for (QWidget* cell : m_cells)
        cell->deleteLater();
    m_cells.clear();
}

void VIPRightShowDialog::buildForm()
{
    setObjectName("VIPRightShowDialog");
    auto* column = new QVBoxLayout(this);
    column->setSpacing(0);
    column->setContentsMargins(0, 0, 0, 0);

    m_title = new QWidget(this);
    m_title->setObjectName("widget_title");
    m_title->setMinimumHeight(30);
    auto* titleRow = new QHBoxLayout(m_title);
    titleRow->setSpacing(0);
    titleRow->setContentsMargins(10, 0, 10, 0);
    // The window list and the task bar name the product, as the title band does.
    setWindowTitle(QStringLiteral("Tavicast"));
    QLabel* title = centredLabel("Tavicast", m_title, "label_title");
    title->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    titleRow->addWidget(title);
    titleRow->addStretch();
    m_close = new QPushButton(m_title);
    m_close->setObjectName("pushButton_close");
    titleRow->addWidget(m_close);
    column->addWidget(m_title);

    auto* main = new QWidget(this);
    main->setObjectName("widget_main");
    auto* body = new QVBoxLayout(main);
    body->setSpacing(10);
    body->setContentsMargins(40, 20, 40, 20);
    body->addWidget(centredLabel(QString::fromUtf8("您还不是会员，请开通会员后使用"), main, "label_note_1"));
    body->addWidget(centredLabel(QString::fromUtf8("会员权益说明表"), main, "label_note_2"));
    m_table = new QWidget(main);
    m_table->setObjectName("widget_show_right");
    body->addWidget(m_table);
    m_contact = new QLabel(main);
    m_contact->setObjectName("label_contact_us");
    m_contact->setAlignment(Qt::AlignCenter);
    body->addWidget(m_contact);
    body->addItem(new QSpacerItem(20, 4, QSizePolicy::Minimum, QSizePolicy::Expanding));
    auto* payRow = new QHBoxLayout;
    payRow->addStretch();
    auto* payNow = new QPushButton(QString::fromUtf8("立即购买"), main);
    payNow->setObjectName("pushButton_pay_now");
    payRow->addWidget(payNow);
    payRow->addStretch();
    body->addLayout(payRow);
    column->addWidget(main);
    QMetaObject::connectSlotsByName(this);
}

void VIPRightShowDialog::initRightsTable()
{
    const double scale = QssManager::dpiScale();
    connect(m_contact, &QLabel::linkActivated, this, &VIPRightShowDialog::slot_openUrl);
    Rights rights;
    QString brief;
    readRights(rights, brief);
    const QString website = QString::fromStdString(servicehosts::deploymentUrl(servicehosts::kWebsiteBase));
    m_contact->setTextFormat(Qt::RichText);
    m_contact->setText(QString::fromLatin1(kContactLink).arg(website.toHtmlEscaped(), brief.toHtmlEscaped()));

    auto* grid = new QGridLayout;
    const QPixmap checkMark(QString::fromLatin1(kCheckMark));
    int sum = 0;
    for (int i = 0; i < rights.size(); ++i) {
        const bool hasRight = rights[i].second == QLatin1String(kHasRight);
        QLabel* key = centredLabel(rights[i].first, nullptr);
        QLabel* value = nullptr;
        if (hasRight) {
            value = new QLabel;
            value->setPixmap(checkMark);
            value->setScaledContents(true);
            value->setFixedSize(int(15 * scale), int(15 * scale));
        } else {
            value = centredLabel(rights[i].second, nullptr);
        }
        value->setAlignment(Qt::AlignCenter);
        grid->addWidget(wrapCell(key, true), i, 0);
        grid->addWidget(wrapCell(value, false), i, 1);
        const int height = hasRight ? kCheckRowHeight : kTextRowHeight;
        grid->setRowMinimumHeight(i, int(height * scale));
        sum += height;
        grid->setContentsMargins(0, 0, 0, 0);
        grid->setSpacing(0);
    }
    m_table->setLayout(grid);
    m_table->setMinimumHeight(int(sum * scale));
}

QWidget* VIPRightShowDialog::wrapCell(QWidget* content, bool keyColumn)
{
    auto* cell = new QWidget;
    cell->setObjectName(keyColumn ? "widget_item_key" : "widget_item_value");
    auto* layout = new QHBoxLayout(cell);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(content, 0, Qt::AlignCenter);
    m_cells.append(content);
    m_cells.append(cell);
    return cell;
}

void VIPRightShowDialog::on_pushButton_pay_now_clicked() { accept(); }

void VIPRightShowDialog::on_pushButton_close_clicked() { reject(); }

void VIPRightShowDialog::slot_openUrl(const QString& url) { openUrl(QUrl(url, QUrl::TolerantMode)); }
