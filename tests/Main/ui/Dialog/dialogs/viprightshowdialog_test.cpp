// The membership-rights dialog: its table from the application configuration, the contact link and the
// two ways out.
#include "ui/Dialog/viprightshowdialog.h"

#include "dialog_test_support.h"

#include "global/urlopener.h"

#include "Main/modal_closer.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTextDocumentFragment>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

class RightsSource {
public:
    RightsSource(VIPRightShowDialog::Rights rights, QString brief)
    {
        VIPRightShowDialog::setRightsSource([rights, brief](VIPRightShowDialog::Rights& out, QString& text) {
            out = rights;
            text = brief;
        });
    }
    ~RightsSource() { VIPRightShowDialog::setRightsSource({}); }
};

std::vector<int> rowHeights(VIPRightShowDialog& dialog)
{
    auto* grid = qobject_cast<QGridLayout*>(child<QWidget>(dialog, "widget_show_right")->layout());
    std::vector<int> heights;
    for (int row = 0; grid && row < grid->rowCount(); ++row)
        heights.push_back(grid->rowMinimumHeight(row));
    return heights;
}

} // namespace

TEST(VIPRightShowDialog, RowsAndTableHeightFollowTheValuesAndTheScale)
{
    RightsSource source({ { "直播", "1" }, { "人数", "50人" }, { "录制", "1" } }, "权益说明");
    const struct {
        double scale;
        std::vector<int> rows;
        int table;
        int width;
    } cases[] = { { 1.0, { 40, 60, 40 }, 140, 490 }, { 1.5, { 60, 90, 60 }, 210, 735 } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scale);
        ScaleOverride scale(c.scale);
        VIPRightShowDialog dialog;
        EXPECT_EQ(rowHeights(dialog), c.rows);
        EXPECT_EQ(child<QWidget>(dialog, "widget_show_right")->minimumHeight(), c.table);
        EXPECT_EQ(dialog.width(), c.width);
        EXPECT_EQ(dialog.findChildren<QWidget*>("widget_item_key").size(), 3);
        EXPECT_EQ(dialog.findChildren<QWidget*>("widget_item_value").size(), 3);
    }
}

TEST(VIPRightShowDialog, OnlyExactlyOneIsACheckMarkAndServiceTextsStayText)
{
    RightsSource source(
        { { "<b>直播</b>", "1 " }, { "录制", "1" } }, "<a href=\"http://evil.example.com\">点此</a> & 更多");
    ScaleOverride scale(1.0);
    VIPRightShowDialog dialog;
    EXPECT_EQ(rowHeights(dialog), (std::vector<int> { 60, 40 }));
    QStringList texts;
    int pictures = 0;
    for (QWidget* cell : dialog.findChildren<QWidget*>("widget_item_value")) {
        auto* value = cell->findChild<QLabel*>();
        ASSERT_NE(value, nullptr);
        if (!value->pixmap(Qt::ReturnByValue).isNull())
            ++pictures;
        else
            texts << value->text();
    }
    EXPECT_EQ(pictures, 1);
    EXPECT_EQ(texts, QStringList { "1 " }) << "\"1 \" is text, not a check mark";
    auto* key = dialog.findChildren<QWidget*>("widget_item_key").at(0)->findChild<QLabel*>();
    EXPECT_EQ(key->textFormat(), Qt::PlainText);

    auto* contact = child<QLabel>(dialog, "label_contact_us");
    EXPECT_FALSE(contact->text().contains("evil.example.com\">")) << contact->text().toStdString();
    EXPECT_TRUE(contact->text().contains("&lt;a href=&quot;http://evil.example.com&quot;&gt;"));
    QStringList opened;
    setUrlOpener([&](const QUrl& url) {
        opened << url.toString();
        return true;
    });
    // The one link of the label is the operator's website, whatever the brief says.
    const QString href = contact->text().section("href=\"", 1).section('"', 0, 0);
    EXPECT_EQ(href, "http://127.0.0.1:9");
    emit contact->linkActivated(href);
    setUrlOpener([](const QUrl&) { return false; });
    EXPECT_EQ(opened, QStringList { "http://127.0.0.1:9" });
}

TEST(VIPRightShowDialog, EmptyConfigurationAndTheWaysOut)
{
    RightsSource source({}, QString());
    VIPRightShowDialog dialog;
    EXPECT_EQ(dialog.windowTitle(), "Tavicast") << "the window list shows the product, not the program file";
    EXPECT_TRUE(rowHeights(dialog).empty() || rowHeights(dialog) == std::vector<int> { 0 });
    EXPECT_EQ(child<QWidget>(dialog, "widget_show_right")->minimumHeight(), 0);
    EXPECT_EQ(QTextDocumentFragment::fromHtml(child<QLabel>(dialog, "label_contact_us")->text())
                  .toPlainText()
                  .trimmed(),
        "");

    const struct {
        const char* button;
        bool escape;
        int result;
    } cases[] = { { "pushButton_pay_now", false, QDialog::Accepted },
        { "pushButton_close", false, QDialog::Rejected }, { nullptr, true, QDialog::Rejected } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button ? c.button : "Escape");
        VIPRightShowDialog shown;
        ModalCloser closer([&](QDialog*) {
            if (c.escape)
                QTest::keyClick(&shown, Qt::Key_Escape);
            else
                QTest::mouseClick(child<QPushButton>(shown, c.button), Qt::LeftButton);
        });
        EXPECT_EQ(shown.exec(), c.result);
    }
}
