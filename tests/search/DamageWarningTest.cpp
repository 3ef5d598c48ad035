#include "search/core/DamageWarning.h"

#include <gtest/gtest.h>

using namespace Orvanta;

namespace {

DamageReport report(qint64 leftOut, qint64 inPart, qint64 pages, const QStringList& titles)
{
    DamageReport r;
    r.tables.push_back({QStringLiteral("maindata"), 100, leftOut, inPart, pages});
    for (const QString& t : titles)
        r.rows.push_back({QStringLiteral("maindata"), DamageReport::RowLoss::LeftOut, t});
    return r;
}

} // namespace

// The window tells a damaged file's losses in its own Chinese.
TEST(DamageWarning, TheWindowSaysItInChinese)
{
    const QString file = QStringLiteral("/media/cd/jst.mdb");
    const QString head = QStringLiteral("資料庫「/media/cd/jst.mdb」已損壞，已用能讀取的部分開啟。");
    struct Case {
        DamageReport report;
        QString expected;
    };
    const std::vector<Case> cases = {
        {report(0, 0, 3, {}), head + "略過了 3 個損壞的頁面，沒有遺失任何篇章。"},
        {report(2, 0, 0, {}), head + "受影響的篇章共 2 篇：2 篇無法讀取，不在任何搜尋之中。"},
        {report(0, 1, 0, {}), head + "受影響的篇章共 1 篇：1 篇只能搜尋其中可讀取的部分。"},
        {report(2, 1, 0, {"甲", "乙"}),
         head + "受影響的篇章共 3 篇：2 篇無法讀取，不在任何搜尋之中；1 篇只能搜尋其中可讀取的部分。其中有：甲、乙。"},
        {report(12, 0, 0, {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12"}),
         head + "受影響的篇章共 12 篇：12 篇無法讀取，不在任何搜尋之中。其中有：1、2、3、4、5、6、7、8、9、10，另有 2 篇。"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(damageWarningInChinese(c.report, file), c.expected);
        // Taken from the database it is the English paragraph, perhaps with
        // the window's own warning about the index after it.
        const QString index = QStringLiteral("資料庫「/media/cd/jst.mdb」的轉換副本已保存……");
        EXPECT_EQ(warningInTheWindowsVoice(c.report.text(file) + "\n" + index, c.report, file), c.expected + "\n" + index);
    }
    EXPECT_EQ(warningInTheWindowsVoice(QStringLiteral("其他"), DamageReport{}, file), QStringLiteral("其他"));
    EXPECT_EQ(warningInTheWindowsVoice(QString(), report(1, 0, 0, {}), file), QString()) << "warned once only";
}
