// The result list as a file: rows, cells that would break the columns or the
// lines, and what the reader is told when it could not be written.
#include "search/core/ResultListFile.h"

#include "platform/Error.h"

#include <QList>

#include <gtest/gtest.h>

using namespace Orvanta;

TEST(ResultListFile, RowsAreTitleTabPathWithTabsAndLineBreaksInCellsAsSpaces)
{
    const struct {
        const char* what;
        QString title;
        QString htm;
        QByteArray line;
    } cases[] = {
        {"plain", QStringLiteral("傷寒論 卷一"), QStringLiteral("data\\a.htm"), "傷寒論 卷一\tdata\\a.htm\n"},
        {"tab in the title", QStringLiteral("甲\t乙"), QStringLiteral("a.htm"), "甲 乙\ta.htm\n"},
        {"line breaks", QStringLiteral("甲\r\n乙\n丙\r"), QStringLiteral("b\n.htm"), "甲  乙 丙 \tb .htm\n"},
        {"other breaks", QStringLiteral("甲\v乙\f丙\u0085丁\u2028戊\u2029"), QStringLiteral("c.htm"),
         "甲 乙 丙 丁 戊 \tc.htm\n"},
        {"empty cells", QString(), QString(), "\t\n"},
        {"spaces stay", QStringLiteral("  甲  "), QStringLiteral(" a b.htm"), "  甲  \t a b.htm\n"},
        {"outside the basic plane", QString::fromUcs4(U"\U00020000"), QStringLiteral("d.htm"),
         "\xf0\xa0\x80\x80\td.htm\n"},
    };
    QByteArray all;
    for (const auto& c : cases) {
        QByteArray one;
        appendResultListRow(one, c.title, c.htm);
        EXPECT_EQ(one, c.line) << c.what;
        appendResultListRow(all, c.title, c.htm);
    }
    // Rows follow one another, each a line of exactly two columns.
    const QList<QByteArray> lines = all.split('\n');
    ASSERT_EQ(lines.size(), qsizetype(std::size(cases)) + 1);
    EXPECT_TRUE(lines.last().isEmpty());
    for (qsizetype i = 0; i + 1 < lines.size(); ++i)
        EXPECT_EQ(lines[i].count('\t'), 1) << cases[i].what;
    EXPECT_FALSE(all.startsWith("\xef\xbb\xbf")) << "no byte-order mark";
}

TEST(ResultListFile, TheMessageNamesTheFileAndTheCause)
{
    const QString path = QStringLiteral("/home/讀者/結果.tsv");
    const struct {
        int number;
        const char* cause;
    } cases[] = {
        {ErrorCode::PermissionDenied, "沒有權限"},
        {ErrorCode::PathNotFound, "資料夾不存在"},
        {ErrorCode::FileNotFound, "資料夾不存在"},
        {ErrorCode::DiskFull, "磁碟已滿"},
        {ErrorCode::PathFileAccessError, "無法寫入"},
    };
    for (const auto& c : cases) {
        const QString message = resultListNotSavedMessage(path, c.number);
        EXPECT_EQ(message, QStringLiteral("無法儲存結果清單「/home/讀者/結果.tsv」（%1）。\n檔案沒有寫入，請選擇其他位置。")
                               .arg(QString::fromUtf8(c.cause)))
            << c.number;
    }
}
