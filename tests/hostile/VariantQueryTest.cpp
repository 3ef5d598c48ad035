// Folded searches (the 異體字 switch) against a plain reference: the same
// query run exactly on a copy of the collection whose content was folded
// beforehand, with the query's words folded too. Fold both sides, then the
// exact LIKE: the folded search must list exactly those rows, in the same
// order, through the library and through orvanta-query --variants, and never
// fewer rows than the exact search. Exact searches before and after a folded
// one on the same shared database must not differ.
#include "app/core/modVelmora.h"
#include "platform/Error.h"
#include "platform/collection/Database.h"
#include "platform/text/VariantFolding.h"
#include "search/core/QueryComposer.h"
#include "search/core/SearchExecution.h"
#include "support/Fixtures.h"
#include "support/MaindataFile.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>

using namespace Orvanta;

namespace {

using Rows = std::vector<std::pair<QString, QString>>;

// Characters folded one code point at a time; ASCII is left to the LIKE,
// which folds its case by itself, so that the query language's own signs
// stay as typed.
QString foldedText(const QString& s)
{
    QList<uint> cps = s.toUcs4();
    for (uint& c : cps) {
        if (c >= 0x80)
            c = uint(VariantFolding::fold(char32_t(c)));
    }
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(cps.constData()), cps.size());
}

// Words in several forms, look-alikes that must stay apart, a form outside
// the BMP, the query language's signs and the apostrophe.
const QStringList kPieces = {
    QStringLiteral("人參"), QStringLiteral("人蔘"), QStringLiteral("人参"), QStringLiteral("甘草"),
    QStringLiteral("鍼"), QStringLiteral("針"), QStringLiteral("针"), QStringLiteral("脈"), QStringLiteral("脉"),
    QStringLiteral("藥"), QStringLiteral("葯"), QStringLiteral("證"), QStringLiteral("証"), QStringLiteral("黃芪"),
    QStringLiteral("黄耆"), QStringLiteral("乾薑"), QStringLiteral("干姜"), QStringLiteral("入"),
    QStringLiteral("\U0002009D"), QStringLiteral("众"), QStringLiteral("\u212A"), QStringLiteral("k"),
    QStringLiteral("K"), QStringLiteral("%"), QStringLiteral("_"), QStringLiteral("'"), QStringLiteral("Ω"),
    QStringLiteral("ω"), QStringLiteral("當歸"), QStringLiteral("当归"), QStringLiteral("湯"), QStringLiteral("汤"),
};

const QStringList kSeparators = {QStringLiteral(" "), QString(), QStringLiteral("，"), QStringLiteral("\n")};

using Collection = Test::MaindataRow;

std::vector<Collection> makeRows()
{
    std::mt19937 rng(20261211);
    std::vector<Collection> rows;
    for (int i = 0; i < 160; ++i) {
        Collection row;
        row.subject = QStringLiteral("題%1").arg(i, 3, 10, QLatin1Char('0'));
        row.htm = QStringLiteral("data\\p%1.htm").arg(i, 3, 10, QLatin1Char('0'));
        if (i % 23 == 5) {
            row.content = std::nullopt;
        } else if (i % 29 == 7) {
            row.content = QString();
        } else {
            QString text;
            const int n = int(rng() % 7);
            for (int k = 0; k < n; ++k)
                text += kPieces[int(rng() % unsigned(kPieces.size()))]
                    + kSeparators[int(rng() % unsigned(kSeparators.size()))];
            row.content = text;
        }
        if (rng() % 8 != 0)
            row.date = QStringLiteral("20%1-0%2-1%3 10:00:00").arg(10 + int(rng() % 5)).arg(1 + int(rng() % 9)).arg(int(rng() % 9));
        rows.push_back(row);
    }
    return rows;
}

void writeCollection(const QString& path, const std::vector<Collection>& rows, bool fold)
{
    std::vector<Collection> written = rows;
    if (fold) {
        for (Collection& row : written) {
            if (row.content)
                row.content = foldedText(*row.content);
        }
    }
    Test::writeMaindata(path, written);
}

// Queries of one to three pieces, joined as a reader types them, some with
// the "+" and "-" leads, doubled spaces (empty words) and wildcards inside
// words.
QStringList makeQueries(int count)
{
    std::mt19937 rng(77);
    QStringList out = {QStringLiteral("人參 甘草"), QStringLiteral("人参 甘草"), QStringLiteral("人蔘 甘草"),
                       QStringLiteral("人_"), QStringLiteral("人%草"), QStringLiteral("'"), QStringLiteral("參'"),
                       QStringLiteral("+針 脉"), QStringLiteral("-藥  証"), QStringLiteral("\U0002009D"),
                       QStringLiteral("众"), QStringLiteral("k"), QStringLiteral("\u212A"), QString()};
    while (out.size() < count) {
        QString q;
        const unsigned lead = rng() % 6;
        if (lead == 0)
            q += QLatin1Char('+');
        else if (lead == 1)
            q += QLatin1Char('-');
        const int words = 1 + int(rng() % 3);
        for (int w = 0; w < words; ++w) {
            if (w)
                q += rng() % 8 == 0 ? QStringLiteral("  ") : QStringLiteral(" ");
            QString word = kPieces[int(rng() % unsigned(kPieces.size()))];
            if (rng() % 5 == 0 && word.size() > 1)
                word.insert(1, rng() % 2 ? QLatin1Char('%') : QLatin1Char('_'));
            else if (rng() % 4 == 0 && word.size() > 1)
                word = word.left(1);
            q += word;
        }
        out << q;
    }
    return out;
}

std::optional<Rows> runLibrary(const QString& connectionString, const QString& boxText, LikeComparison comparison)
{
    try {
        const ComposedQuery q = composeQuery(boxText);
        const auto table = executeSearch(connectionString, q.sql, nullptr, comparison);
        Rows out;
        if (table) {
            for (qsizetype r = 0; r < table->rowCount(); ++r)
                out.emplace_back(table->cellText(r, 0), table->cellText(r, 1));
        }
        return out;
    } catch (const Error& e) {
        ADD_FAILURE() << "⟨" << boxText.toStdString() << "⟩: error " << e.number() << " " << e.text().toStdString();
        return std::nullopt;
    }
}

Rows runProcess(const QString& installFolder, const QString& boxText)
{
    QProcess p;
    p.start(Orvanta::Test::binDir() + QStringLiteral("/orvanta-query"),
            {QStringLiteral("--dir"), installFolder, QStringLiteral("--variants"), QStringLiteral("--"), boxText});
    EXPECT_TRUE(p.waitForFinished(60000));
    EXPECT_TRUE(p.exitCode() == 0 || p.exitCode() == 1) << p.readAllStandardError().toStdString();
    Rows out;
    for (const QByteArray& line : p.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> f = line.split('\t');
        if (f.size() == 3)
            out.emplace_back(QString::fromUtf8(f[1]), QString::fromUtf8(f[2]));
    }
    return out;
}

bool contains(const Rows& all, const Rows& some)
{
    return std::all_of(some.begin(), some.end(),
                       [&](const auto& row) { return std::find(all.begin(), all.end(), row) != all.end(); });
}

class VariantQueries : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(original.isValid() && reference.isValid() && cache.isValid());
        qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
        rows = makeRows();
        writeCollection(original.path() + QStringLiteral("/jst.mdb"), rows, false);
        writeCollection(reference.path() + QStringLiteral("/jst.mdb"), rows, true);
    }
    void TearDown() override { Database::setContentIndexUse(true); }

    QTemporaryDir original, reference, cache;
    std::vector<Collection> rows;
};

} // namespace

TEST_F(VariantQueries, FoldedSearchListsTheRowsOfTheFoldedReference)
{
    const QString folded = modVelmora::connectionStringFor(original.path());
    const QString expectedFrom = modVelmora::connectionStringFor(reference.path());
    const QStringList queries = makeQueries(1500);
    int widened = 0;
    int failures = 0;
    for (const QString& q : queries) {
        const std::optional<Rows> expected = runLibrary(expectedFrom, foldedText(q), LikeComparison::Exact);
        for (const bool indexed : {true, false}) {
            Database::setContentIndexUse(indexed);
            const std::optional<Rows> exactBefore = runLibrary(folded, q, LikeComparison::Exact);
            const std::optional<Rows> got = runLibrary(folded, q, LikeComparison::Variants);
            const std::optional<Rows> exactAfter = runLibrary(folded, q, LikeComparison::Exact);
            ASSERT_TRUE(expected && got && exactBefore && exactAfter);
            if (*got != *expected || !contains(*got, *exactBefore) || *exactAfter != *exactBefore) {
                if (++failures <= 10)
                    ADD_FAILURE() << "⟨" << q.toStdString() << "⟩ indexed=" << indexed << ": " << got->size()
                                  << " folded rows, " << expected->size() << " in the reference, "
                                  << exactBefore->size() << " exact before, " << exactAfter->size() << " after";
            }
            widened += indexed && got->size() > exactBefore->size();
        }
    }
    std::printf("[ figures  ] %d of %d queries find more rows folded than exact\n", widened, int(queries.size()));
    EXPECT_GT(widened * 4, int(queries.size()));
    EXPECT_EQ(failures, 0);
}

TEST_F(VariantQueries, OrvantaQueryVariantsGivesTheLibraryRows)
{
    const QString folded = modVelmora::connectionStringFor(original.path());
    const QStringList queries = makeQueries(60);
    for (const QString& q : queries) {
        const std::optional<Rows> library = runLibrary(folded, q, LikeComparison::Variants);
        ASSERT_TRUE(library);
        Rows printedRows;
        for (const auto& [s, h] : *library) {
            QString a = s, b = h;
            for (QString* v : {&a, &b})
                v->replace(QLatin1Char('\t'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
            printedRows.emplace_back(a, b);
        }
        EXPECT_EQ(runProcess(original.path(), q), printedRows) << q.toStdString();
    }
}
