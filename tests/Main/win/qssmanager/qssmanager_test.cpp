#include "win/qssmanager.h"

#include <QFile>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

class ScaleOverride {
public:
    explicit ScaleOverride(double scale) { QssManager::setDpiScaleOverride(scale); }
    ~ScaleOverride() { QssManager::setDpiScaleOverride(0.0); }
};

struct PxCase {
    double scale;
    const char* in;
    const char* out;
};

TEST(QssManager, ScalePxTable)
{
    const PxCase cases[] = {
        { 1.0, "font-size:12px;", "font-size:12px;" },
        { 0.8, "font-size:12px;", "font-size:12px;" },
        { 1.25, "font-size:12px;", "font-size:15px;" },
        // Whole pixels, halves away from zero; a length that was not zero stays at least one pixel.
        { 1.25, "height:13px;", "height:16px;" },
        { 1.25, "border-width:1px;", "border-width:1px;" },
        { 1.25, "margin:0px;", "margin:0px;" },
        { 1.25, "margin-left:-2px;", "margin-left:-3px;" },
        { 1.25, "border:1px solid #ff0000;", "border:1px solid #ff0000;" },
        { 1.25, "QLabel{width:12px}", "QLabel{width:12px}" },
        { 1.25, "a{width:12px;height:8px;}b{padding:4px 6px;}",
            "a{width:15px;height:10px;}b{padding:4px 8px;}" },
        // Decimal values scale whole.
        { 1.25, "border-width:1.5px;", "border-width:2px;" },
        { 1.25, "border-width:.4px;", "border-width:1px;" },
        { 1.25, "border-width:.1px;", "border-width:1px;" },
        { 2.0, "a:1.5px;b:3px;", "a:3px;b:6px;" },
        { 1.5, "radius:7px;", "radius:11px;" },
    };
    QWidget widget;
    QssManager manager(&widget);
    for (const PxCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.scale << " " << c.in);
        ScaleOverride scale(c.scale);
        EXPECT_EQ(manager.scalePx(QString::fromUtf8(c.in)).toStdString(), c.out);
    }
}

// At 125 % a rounded corner and a pixel font size survive the scaling: Qt drops fractional ones.
TEST(QssManager, ScaledSheetKeepsRoundedCornersAndFontSize)
{
    ScaleOverride scale(1.25);
    QWidget window;
    window.resize(140, 80);
    window.setStyleSheet(QStringLiteral("QWidget{background-color:#ffffff;}"));
    auto* label = new QLabel(QStringLiteral("Tavimeet"), &window);
    label->setGeometry(10, 10, 120, 60);
    QssManager manager(label);
    label->setStyleSheet(manager.scalePx(
        QStringLiteral("QLabel{background-color:#ff0000;border-radius:13px;font-size:13px;}")));
    label->ensurePolished();
    EXPECT_EQ(label->font().pixelSize(), 16);
    const QImage image = window.grab().toImage();
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.pixelColor(11, 11), QColor(Qt::white)) << "the corner is not rounded";
    EXPECT_EQ(image.pixelColor(70, 13), QColor(Qt::red));
}

// widget (margins 10,7,3,0, spacing 6) > inner layout (margins 5,5,5,5, spacing 3)
//        > child widget with a grid whose rows and columns differ (spacing() reports -1)
struct LayoutTree {
    LayoutTree()
    {
        outer = new QVBoxLayout(&root);
        outer->setContentsMargins(10, 7, 3, 0);
        outer->setSpacing(6);
        inner = new QHBoxLayout;
        inner->setContentsMargins(5, 5, 5, 5);
        inner->setSpacing(3);
        outer->addLayout(inner);
        auto* child = new QWidget;
        inner->addWidget(child);
        grid = new QGridLayout(child);
        grid->setContentsMargins(4, 4, 4, 4);
        grid->setHorizontalSpacing(4);
        grid->setVerticalSpacing(8);
    }
    QWidget root;
    QVBoxLayout* outer;
    QHBoxLayout* inner;
    QGridLayout* grid;
};

struct LayoutCase {
    double scale;
    QMargins outerMargins;
    int outerSpacing;
    QMargins innerMargins;
    int innerSpacing;
    int gridMargin;
};

TEST(QssManager, ScalesLayoutTreeOnConstruction)
{
    const LayoutCase cases[] = {
        { 1.0, { 10, 7, 3, 0 }, 6, { 5, 5, 5, 5 }, 3, 4 },
        { 1.25, { 12, 8, 3, 0 }, 7, { 6, 6, 6, 6 }, 3, 5 },
        { 0.8, { 8, 5, 2, 0 }, 4, { 4, 4, 4, 4 }, 2, 3 },
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.scale);
        ScaleOverride scale(c.scale);
        LayoutTree tree;
        new QssManager(&tree.root, true);
        EXPECT_EQ(tree.outer->contentsMargins(), c.outerMargins);
        EXPECT_EQ(tree.outer->spacing(), c.outerSpacing);
        EXPECT_EQ(tree.inner->contentsMargins(), c.innerMargins);
        EXPECT_EQ(tree.inner->spacing(), c.innerSpacing);
        EXPECT_EQ(
            tree.grid->contentsMargins(), QMargins(c.gridMargin, c.gridMargin, c.gridMargin, c.gridMargin));
        // The style's default spacing is left to the style.
        EXPECT_EQ(tree.grid->spacing(), -1);
        EXPECT_EQ(tree.grid->horizontalSpacing(), 4);
        EXPECT_EQ(tree.grid->verticalSpacing(), 8);
    }
}

TEST(QssManager, WithoutLayoutFlagLeavesLayoutsAlone)
{
    ScaleOverride scale(2.0);
    LayoutTree tree;
    new QssManager(&tree.root, false);
    EXPECT_EQ(tree.outer->contentsMargins(), QMargins(10, 7, 3, 0));
    EXPECT_EQ(tree.outer->spacing(), 6);
}

class QssManagerLoad : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    QString writeSheet(const QByteArray& text)
    {
        const QString path = dir_.filePath(QStringLiteral("sheet.css"));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        return path;
    }
    QTemporaryDir dir_;
};

TEST_F(QssManagerLoad, SetsScaledSheetAsUtf8)
{
    ScaleOverride scale(1.25);
    const QString path = writeSheet("QLabel{font-family:\"微软雅黑\";font-size:12px;}");
    QWidget widget;
    widget.setStyleSheet(QStringLiteral("QWidget{color:red;}"));
    auto* manager = new QssManager(&widget);
    manager->loadStyleSheet(path);
    EXPECT_EQ(widget.styleSheet(), QStringLiteral("QLabel{font-family:\"微软雅黑\";font-size:15px;}"));
}

TEST_F(QssManagerLoad, MissingOrUnusableSheetChangesNothing)
{
    QWidget widget;
    widget.setStyleSheet(QStringLiteral("QWidget{color:red;}"));
    auto* manager = new QssManager(&widget);
    manager->loadStyleSheet(dir_.filePath(QStringLiteral("missing.css")));
    manager->loadStyleSheet(QStringLiteral(":/qss/dialog/no-such-sheet.css"));
    EXPECT_EQ(widget.styleSheet(), QStringLiteral("QWidget{color:red;}"));

    // A manager that no longer serves a widget loads into nothing.
    QObject holder;
    manager->setParent(&holder);
    manager->loadStyleSheet(writeSheet("QWidget{color:blue;}"));
    EXPECT_EQ(widget.styleSheet(), QStringLiteral("QWidget{color:red;}"));
}

TEST(QssManager, ScaleComesFromTheScreenWithoutOverride)
{
    QssManager::setDpiScaleOverride(0.0);
    ASSERT_NE(QGuiApplication::primaryScreen(), nullptr);
    EXPECT_DOUBLE_EQ(QssManager::dpiScale(), QGuiApplication::primaryScreen()->logicalDotsPerInch() / 96.0);
}

} // namespace
