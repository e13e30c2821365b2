// Every resource the shell names, and every image its style sheets point at, is compiled into the
// program: a missing one would only show as a blank button or an unstyled window.
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>

#include <gtest/gtest.h>

namespace {

QStringList styleSheets()
{
    QStringList sheets;
    QDirIterator it(QStringLiteral(":/qss"), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        sheets << it.next();
    return sheets;
}

} // namespace

TEST(Resources, NamedFilesArePresent)
{
    for (const char* path : { ":/qss/mainwindow.css", ":/qss/dialog/messageboxdialog.css", ":/rc/icon.png",
             ":/image/ZovMeeting.png" })
        EXPECT_TRUE(QFile::exists(QString::fromLatin1(path))) << path;
}

TEST(Resources, EveryImageOfAStyleSheetIsPresent)
{
    const QStringList sheets = styleSheets();
    ASSERT_FALSE(sheets.isEmpty());
    static const QRegularExpression url(QStringLiteral("url\\(\\s*\"?(:[^\")\\s]+)\"?\\s*\\)"));
    int images = 0;
    for (const QString& sheet : sheets) {
        QFile file(sheet);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << sheet.toStdString();
        const QString text = QString::fromUtf8(file.readAll());
        for (auto it = url.globalMatch(text); it.hasNext();) {
            const QString image = it.next().captured(1);
            ++images;
            EXPECT_TRUE(QFile::exists(image)) << image.toStdString() << " named by " << sheet.toStdString();
        }
    }
    EXPECT_GT(images, 0);
}
