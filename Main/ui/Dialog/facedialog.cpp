#include "ui/Dialog/facedialog.h"

#include "ui_facedialog.h"

#include "global/customevents.h"
#include "global/eventdeliverer.h"
#include "ui/Dialog/facepopup.h"
#include "ui/part/facebutton.h"
#include "win/qssmanager.h"

#include <QApplication>
#include <QDebug>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QListWidgetItem>
#include <QScreen>

namespace {

constexpr char kStyleSheet[] = ":/qss/dialog/facedialog.css";
constexpr int kButtonSide = 22;
constexpr int kIconSide = 20;
constexpr int kRowSpacing = 5;
constexpr int kButtonGap = 8;
constexpr int kExtraHeight = 5;

} // namespace

FaceDialog::FaceDialog(QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::FaceDialog>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Popup | Qt::FramelessWindowHint);
    (new QssManager(this))->loadStyleSheet(QString::fromLatin1(kStyleSheet));
    installEventFilter(this);
}

FaceDialog::~FaceDialog() = default;

void FaceDialog::setAnchorWidget(QWidget* widget)
{
    if (!widget || widget == m_anchor)
        return;
    if (m_anchor) {
        m_anchor->removeEventFilter(this);
        disconnect(m_anchor, &QObject::destroyed, this, &QObject::deleteLater);
    }
    m_anchor = widget;
    widget->installEventFilter(this);
    widget->setMouseTracking(true);
    connect(widget, &QObject::destroyed, this, &QObject::deleteLater);
}

void FaceDialog::setFaceFiles(const QList<QFileInfo>& files)
{
    m_faces = files;
    QList<QWidget*> row;
    for (int i = 0; i < files.size(); ++i) {
        row.append(makeButton(files.at(i).filePath()));
        if (row.size() == m_facesPerRow || i == files.size() - 1) {
            addRow(row);
            row.clear();
        }
    }
    const double scale = QssManager::dpiScale();
    const int buttonSide = int(kButtonSide * scale);
    setFixedSize(m_widestRow, int(buttonSide * ui->listWidget_facelist->count() + kExtraHeight * scale));
}

QWidget* FaceDialog::makeButton(const QString& path)
{
    const double scale = QssManager::dpiScale();
    auto* button = new FaceButton;
    button->setPath(path);
    button->setIcon(QIcon(path));
    button->setIconSize(QSize(int(kIconSide * scale), int(kIconSide * scale)));
    button->setFixedSize(int(kButtonSide * scale), int(kButtonSide * scale));
    button->setCheckable(false);
    connect(button, &QPushButton::clicked, this, [this, button] { chooseFace(button->path()); });
    return button;
}

void FaceDialog::addRow(QList<QWidget*> buttons)
{
    const double scale = QssManager::dpiScale();
    auto* layout = new QHBoxLayout;
    for (QWidget* button : buttons)
        layout->addWidget(button);
    layout->addStretch();
    layout->setSpacing(int(kRowSpacing * scale));
    layout->setContentsMargins(0, 0, 0, 0);

    auto* rowWidget = new QWidget;
    rowWidget->setLayout(layout);
    auto* item = new QListWidgetItem;
    item->setSizeHint(QSize(0, int(kButtonSide * scale)));
    ui->listWidget_facelist->addItem(item);
    ui->listWidget_facelist->setItemWidget(item, rowWidget);

    const int buttonWidth = buttons.isEmpty() ? 0 : buttons.first()->width();
    m_widestRow = std::max(m_widestRow, int((buttonWidth + kButtonGap * scale) * buttons.size()));
}

void FaceDialog::chooseFace(const QString& path)
{
    qDebug().noquote() << "图片：" << path;
    EventDeliverer::instance()->deliver(new AddFaceEvent(path));
    hide();
}

void FaceDialog::popupAt(QWidget* anchor)
{
    if (!anchor)
        return;
    showAt(anchor->mapToGlobal(QPoint(0, 0)));
}

void FaceDialog::showAt(const QPoint& globalPoint)
{
    const QPoint offset(m_rightOffset, m_bottomOffset);
    move(facepopup::popupPosition(globalPoint, offset, size(), anchorScreen(globalPoint)));
    show();
}

QRect FaceDialog::anchorScreen(const QPoint& globalPoint) const
{
    // The screen under the anchor's middle; an anchor off every screen falls back on its window's screen.
    QScreen* screen = nullptr;
    if (m_anchor) {
        screen = QGuiApplication::screenAt(m_anchor->mapToGlobal(m_anchor->rect().center()));
        if (!screen)
            screen = m_anchor->screen();
    } else {
        screen = QGuiApplication::screenAt(globalPoint);
        if (!screen)
            screen = this->screen();
    }
    return screen ? screen->geometry() : QRect();
}

void FaceDialog::slot_addFace() { hide(); }

bool FaceDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == this && event->type() == QEvent::ActivationChange && QApplication::activeWindow() != this)
        hide();
    return QDialog::eventFilter(watched, event);
}

bool FaceDialog::isOnTopEdge(QPoint) { return false; }

bool FaceDialog::isOnBottomEdge(QPoint) { return false; }

bool FaceDialog::isOnLeftEdge(QPoint) { return false; }

bool FaceDialog::isOnRightEdge(QPoint) { return false; }

bool FaceDialog::isOnCaption(QPoint) { return false; }

void FaceDialog::onSizing(int, long*, long*, long*, long*) { }
