#include "ui/Dialog/facedialog.h"

#include "global/customevents.h"
#include "global/eventdeliverer.h"
#include "ui/part/facebutton.h"
#include "win/qssmanager.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPointer>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

class ScaleOverride {
public:
    explicit ScaleOverride(double scale) { QssManager::setDpiScaleOverride(scale); }
    ~ScaleOverride() { QssManager::setDpiScaleOverride(0.0); }
};

// The six emoticons of the program, in the order the chat form lists them.
QList<QFileInfo> emoticons()
{
    return QDir(QStringLiteral(":/image/face/")).entryInfoList(QDir::Files, QDir::Name);
}

QList<QFileInfo> files(int count)
{
    QList<QFileInfo> list;
    const QList<QFileInfo> faces = emoticons();
    for (int i = 0; i < count; ++i)
        list.append(faces.at(i % faces.size()));
    return list;
}

// The buttons of each row of the picker, row by row.
QList<QList<FaceButton*>> rows(FaceDialog& dialog)
{
    QList<QList<FaceButton*>> result;
    auto* list = dialog.findChild<QListWidget*>(QStringLiteral("listWidget_facelist"));
    for (int i = 0; list && i < list->count(); ++i) {
        QList<FaceButton*> row;
        QWidget* rowWidget = list->itemWidget(list->item(i));
        for (int k = 0; rowWidget && k < rowWidget->layout()->count(); ++k) {
            if (auto* button = qobject_cast<FaceButton*>(rowWidget->layout()->itemAt(k)->widget()))
                row.append(button);
        }
        result.append(row);
    }
    return result;
}

// Registered for AddFaceEvent; keeps the paths it receives.
class FaceReceiver : public QObject {
public:
    FaceReceiver() { EventDeliverer::instance()->registerReceiver(AddFaceEvent::eventType, this); }
    ~FaceReceiver() override
    {
        EventDeliverer::instance()->unregisterReceiver(AddFaceEvent::eventType, this);
    }

    bool event(QEvent* event) override
    {
        if (event->type() == AddFaceEvent::eventType) {
            paths.append(static_cast<AddFaceEvent*>(event)->path);
            return true;
        }
        return QObject::event(event);
    }

    QStringList paths;
};

void drainEvents()
{
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

TEST(FaceDialog, EmoticonResourcesInNameOrder)
{
    QStringList names;
    for (const QFileInfo& info : emoticons())
        names << info.fileName();
    EXPECT_EQ(names,
        QStringList({ "emoji_flower.png", "emoji_haha.png", "emoji_heart.png", "emoji_sad.png",
            "emoji_sleep.png", "emoji_thumb.png" }));
    for (const QFileInfo& info : emoticons())
        EXPECT_FALSE(QIcon(info.filePath()).pixmap(20, 20).isNull()) << info.filePath().toStdString();
}

TEST(FaceDialog, PopupWindowWithItsStyleSheet)
{
    FaceDialog dialog;
    EXPECT_TRUE(dialog.windowFlags().testFlag(Qt::Popup));
    EXPECT_TRUE(dialog.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(dialog.styleSheet().contains(QLatin1String("#323232")));
    EXPECT_EQ(dialog.rightOffset(), 0);
    EXPECT_EQ(dialog.bottomOffset(), 0);
    EXPECT_TRUE(dialog.setProperty("rightOffset", 7));
    EXPECT_EQ(dialog.rightOffset(), 7);
}

TEST(FaceDialog, GridRowsAndSize)
{
    const struct {
        int files;
        double scale;
        QList<int> rowLengths;
        int buttonSide;
        QSize size;
    } cases[] = {
        { 6, 1.0, { 6 }, 22, { 180, 27 } },
        { 9, 1.0, { 8, 1 }, 22, { 240, 49 } },
        { 8, 1.0, { 8 }, 22, { 240, 27 } },
        { 6, 1.5, { 6 }, 33, { 270, 40 } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.files << " files at " << c.scale);
        ScaleOverride scale(c.scale);
        FaceDialog dialog;
        const QList<QFileInfo> faces = files(c.files);
        dialog.setFaceFiles(faces);

        const auto grid = rows(dialog);
        QList<int> lengths;
        QStringList paths;
        for (const auto& row : grid) {
            lengths << row.size();
            for (FaceButton* button : row) {
                paths << button->path();
                EXPECT_EQ(button->size(), QSize(c.buttonSide, c.buttonSide));
                EXPECT_EQ(button->iconSize(), QSize(int(20 * c.scale), int(20 * c.scale)));
                EXPECT_FALSE(button->icon().isNull());
                EXPECT_FALSE(button->isCheckable());
            }
        }
        EXPECT_EQ(lengths, c.rowLengths);
        QStringList expectedPaths;
        for (const QFileInfo& info : faces)
            expectedPaths << info.filePath();
        EXPECT_EQ(paths, expectedPaths);
        EXPECT_EQ(dialog.size(), c.size);
        EXPECT_EQ(dialog.minimumSize(), c.size);
        EXPECT_EQ(dialog.maximumSize(), c.size);
    }
}

TEST(FaceDialog, ClickDeliversOneEventWithThePathAndHides)
{
    FaceReceiver receiver;
    FaceDialog dialog;
    dialog.setFaceFiles(emoticons());
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));

    FaceButton* heart = rows(dialog).at(0).at(2);
    QTest::mouseClick(heart, Qt::LeftButton);
    drainEvents();
    EXPECT_EQ(receiver.paths, QStringList { QStringLiteral(":/image/face/emoji_heart.png") });
    EXPECT_FALSE(dialog.isVisible());
}

TEST(FaceDialog, LosingActivationHides)
{
    QWidget other;
    FaceDialog dialog;
    dialog.setFaceFiles(emoticons());
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));

    other.show();
    QApplication::setActiveWindow(&other);
    QEvent change(QEvent::ActivationChange);
    QApplication::sendEvent(&dialog, &change);
    EXPECT_FALSE(dialog.isVisible());
}

TEST(FaceDialog, DiesWithItsAnchorOnly)
{
    QPointer<FaceDialog> dialog = new FaceDialog;
    auto first = std::make_unique<QWidget>();
    auto second = std::make_unique<QWidget>();

    dialog->setAnchorWidget(nullptr);
    dialog->setAnchorWidget(first.get());
    dialog->setAnchorWidget(first.get()); // unchanged: one connection, not two
    EXPECT_TRUE(first->hasMouseTracking());

    // Once moved to another anchor, the old one no longer takes the picker along.
    dialog->setAnchorWidget(second.get());
    first.reset();
    drainEvents();
    ASSERT_FALSE(dialog.isNull());

    second.reset();
    drainEvents();
    EXPECT_TRUE(dialog.isNull());
}

TEST(FaceDialog, PopupAtTheAnchorsTopLeftCorner)
{
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QWidget window;
    window.setGeometry(screen.x() + 100, screen.y() + 10, 400, 300);
    auto* anchor = new QWidget(&window);
    anchor->setGeometry(50, 200, 30, 30);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    FaceDialog dialog(anchor);
    dialog.setAnchorWidget(anchor);
    dialog.setFaceFiles(emoticons());

    dialog.popupAt(nullptr);
    EXPECT_FALSE(dialog.isVisible());

    const QPoint corner = anchor->mapToGlobal(QPoint(0, 0));
    dialog.popupAt(anchor);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.pos(), QPoint(corner.x(), corner.y() - 27));
    dialog.hide();

    // An anchor at the top of the screen: the picker stays on the screen, below the anchor's top edge.
    anchor->move(50, 0);
    window.move(screen.x() + 100, screen.y());
    dialog.setBottomOffset(-4);
    dialog.popupAt(anchor);
    EXPECT_EQ(dialog.pos().y(), screen.y());
}

} // namespace
