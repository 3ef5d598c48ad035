#include "search/core/DamageWarning.h"

#include <QStringList>

#include <algorithm>

namespace Orvanta {

QString damageWarningInChinese(const DamageReport& report, const QString& displayPath, int titleCap)
{
    qint64 leftOut = 0, inPart = 0, pages = 0;
    for (const DamageReport::Table& t : report.tables) {
        leftOut += t.rowsLeftOut;
        inPart += t.rowsInPart;
        pages += t.pagesSkipped;
    }
    QString text = QStringLiteral("資料庫「%1」已損壞，已用能讀取的部分開啟。").arg(displayPath);
    if (leftOut + inPart == 0)
        return text + QStringLiteral("略過了 %1 個損壞的頁面，沒有遺失任何篇章。").arg(pages);

    text += QStringLiteral("受影響的篇章共 %1 篇：").arg(leftOut + inPart);
    QStringList how;
    if (leftOut)
        how << QStringLiteral("%1 篇無法讀取，不在任何搜尋之中").arg(leftOut);
    if (inPart)
        how << QStringLiteral("%1 篇只能搜尋其中可讀取的部分").arg(inPart);
    text += how.join(QStringLiteral("；")) + QStringLiteral("。");

    QStringList named;
    for (const DamageReport::Row& r : report.rows) {
        if (!r.title.isEmpty())
            named << r.title;
    }
    if (!named.isEmpty()) {
        const qsizetype shown = std::min<qsizetype>(named.size(), titleCap);
        text += QStringLiteral("其中有：") + named.mid(0, shown).join(QStringLiteral("、"));
        if (named.size() > shown)
            text += QStringLiteral("，另有 %1 篇").arg(named.size() - shown);
        text += QStringLiteral("。");
    }
    return text;
}

QString warningInTheWindowsVoice(const QString& taken, const DamageReport& report, const QString& displayPath)
{
    if (taken.isEmpty() || report.isEmpty())
        return taken;
    QString out = taken;
    out.replace(report.text(displayPath), damageWarningInChinese(report, displayPath));
    return out;
}

} // namespace Orvanta
