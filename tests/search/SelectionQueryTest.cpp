// The query a selection in the page makes, for selections as readers drag
// them: over lines and cells, with invisible characters, broken text, and
// whole pages.
#include "search/core/SelectionQuery.h"

#include <QList>

#include <gtest/gtest.h>

using namespace Orvanta;

namespace {

QString repeated(const QString& piece, int times)
{
    QString s;
    for (int i = 0; i < times; ++i)
        s += piece;
    return s;
}

int codePoints(const QString& s)
{
    return int(s.toUcs4().size());
}

} // namespace

TEST(SelectionQuery, WordsApartBySingleSpacesAndNothingThatCannotBeTyped)
{
    const QChar lone(char16_t(0xD840));
    const QString ext = QString::fromUcs4(U"\U00020000"); // CJK Extension B, a surrogate pair
    const struct {
        const char* what;
        QString selection;
        QString query;
    } cases[] = {
        {"a word", QStringLiteral("人參"), QStringLiteral("人參")},
        {"words as typed", QStringLiteral("人參 甘草"), QStringLiteral("人參 甘草")},
        {"lines", QStringLiteral("人參\n甘草\r\n乾薑"), QStringLiteral("人參 甘草 乾薑")},
        {"cells", QStringLiteral("人參\t\t甘草"), QStringLiteral("人參 甘草")},
        {"paragraph separator", QStringLiteral("人參\u2029甘草"), QStringLiteral("人參 甘草")},
        {"ideographic and no-break spaces", QStringLiteral("人參\u3000甘草\u00a0乾薑"), QStringLiteral("人參 甘草 乾薑")},
        {"surrounding space", QStringLiteral(" \n 人參 \n"), QStringLiteral("人參")},
        {"two spaces are one", QStringLiteral("人參  甘草"), QStringLiteral("人參 甘草")},
        {"zero-width and byte-order marks", QStringLiteral("人\u200b參\ufeff"), QStringLiteral("人參")},
        {"control characters", QStringLiteral("人\u0001參\u007f"), QStringLiteral("人參")},
        {"a lone high surrogate", QStringLiteral("人") + lone + QStringLiteral("參"), QStringLiteral("人參")},
        {"a lone low surrogate", QChar(char16_t(0xDC00)) + QStringLiteral("參"), QStringLiteral("參")},
        {"noncharacters", QStringLiteral("人\ufffe參\ufdd0"), QStringLiteral("人參")},
        {"a whole pair stays", ext + QStringLiteral("參"), ext + QStringLiteral("參")},
        {"the query language stays", QStringLiteral("+人參 甘'草"), QStringLiteral("+人參 甘'草")},
        {"nothing left", QStringLiteral("\n\t\u200b "), QString()},
        {"empty", QString(), QString()},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(queryFromSelection(c.selection), c.query) << c.what;
    }
}

TEST(SelectionQuery, ALongSelectionIsCutAtAWholeCodePointWithinTheBound)
{
    const QString ext = QString::fromUcs4(U"\U00020000");
    const struct {
        const char* what;
        QString selection;
        QString query;
    } cases[] = {
        {"exactly the bound", repeated(QStringLiteral("參"), kSelectionQueryMaxCodePoints),
         repeated(QStringLiteral("參"), kSelectionQueryMaxCodePoints)},
        {"a whole page", repeated(QStringLiteral("參"), 100000), repeated(QStringLiteral("參"), kSelectionQueryMaxCodePoints)},
        {"pairs are counted once", repeated(ext, 500), repeated(ext, kSelectionQueryMaxCodePoints)},
        {"a pair at the cut is whole or gone", QStringLiteral("參") + repeated(ext, 500),
         QStringLiteral("參") + repeated(ext, kSelectionQueryMaxCodePoints - 1)},
        // 甲 then a space: 60 words would take 119 code points; the 61st
        // word's space would leave it no room, so no space ends the query.
        {"never ends in a space", repeated(QStringLiteral("甲 "), 1000),
         repeated(QStringLiteral("甲 "), kSelectionQueryMaxCodePoints / 2 - 1) + QStringLiteral("甲")},
        {"many lines", repeated(QStringLiteral("甘草\n"), 5000),
         repeated(QStringLiteral("甘草 "), kSelectionQueryMaxCodePoints / 3 - 1) + QStringLiteral("甘草")},
    };
    for (const auto& c : cases) {
        const QString q = queryFromSelection(c.selection);
        EXPECT_EQ(q, c.query) << c.what;
        EXPECT_LE(codePoints(q), kSelectionQueryMaxCodePoints) << c.what;
        EXPECT_FALSE(q.endsWith(QLatin1Char(' '))) << c.what;
        EXPECT_TRUE(q.isValidUtf16()) << c.what;
    }
}
