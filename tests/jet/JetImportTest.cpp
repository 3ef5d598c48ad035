// Reading the real Jet fixtures through the reader process into SQLite.
#include "jet/JetTestSupport.h"
#include "support/Fixtures.h"

#include "platform/Error.h"
#include "platform/jet/JetImport.h"
#include "platform/text/Cp950.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace Orvanta;
using Orvanta::Test::ExpectedRow;
using Orvanta::Test::MemoryDb;
namespace fx = Orvanta::Test;

namespace {

void expectRows(const MemoryDb& db, const std::vector<ExpectedRow>& expected)
{
    const auto rows = db.rows(QStringLiteral("SELECT subject, htm, content, date FROM maindata ORDER BY rowid"));
    ASSERT_EQ(rows.size(), expected.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE("row " + std::to_string(i + 1));
        EXPECT_EQ(rows[i][0], std::optional<QString>(expected[i].subject));
        EXPECT_EQ(rows[i][1], std::optional<QString>(expected[i].htm));
        EXPECT_EQ(rows[i][2].has_value(), expected[i].content.has_value());
        if (rows[i][2] != expected[i].content) // keep a 300,000-character mismatch out of the log
            ADD_FAILURE() << "content differs (" << rows[i][2].value_or(QString()).size() << " vs "
                          << expected[i].content.value_or(QString()).size() << " characters)";
        EXPECT_EQ(rows[i][3], expected[i].date);
    }
}

} // namespace

TEST(JetImport, ReaderSitsBesideTheProgram)
{
    const QString path = JetImport::readerPath();
    EXPECT_TRUE(path.endsWith(QStringLiteral("/orvanta-jet-reader")));
    EXPECT_TRUE(QFileInfo(path).isExecutable()) << path.toStdString();
    EXPECT_EQ(QFileInfo(path).absolutePath(), QFileInfo(fx::binDir()).absoluteFilePath());
}

TEST(JetImport, RecognisesJetSignatures)
{
    struct Case {
        QByteArray header;
        bool jet;
    };
    const QByteArray jet4 = fx::readFile(fx::fixture(QStringLiteral("jet4-install/jst.mdb"))).left(64);
    const QByteArray jet3 = fx::readFile(fx::fixture(QStringLiteral("jet3-northwind.mdb"))).left(64);
    const Case cases[] = {
        {jet4, true},
        {jet3, true},
        {QByteArray("\0\1\0\0Standard ACE DB\0\0\0", 22), true},
        {QByteArray("\0\1\0\0Standard Jet D", 18), false}, // cut short
        {QByteArray("\0\0\0\0Standard Jet DB", 19), false},
        {QByteArray("SQLite format 3\0", 16), false},
        {QByteArray("<html><head>"), false},
        {QByteArray(), false},
    };
    ASSERT_TRUE(fx::requireFixtures());
    for (const Case& c : cases)
        EXPECT_EQ(JetImport::looksLikeJet(c.header), c.jet) << c.header.toHex().toStdString();
}

TEST(JetImport, InstallDatabaseReadsBackExactly)
{
    ASSERT_TRUE(fx::requireFixtures());
    MemoryDb db;
    JetImport::load(fx::fixture(QStringLiteral("jet4-install/jst.mdb")), db.handle());
    EXPECT_EQ(db.tables(), QStringList{QStringLiteral("maindata")});
    expectRows(db, fx::readExpectedRows(fx::fixture(QStringLiteral("jet4-install/expected-rows.tsv"))));
}

TEST(JetImport, InstallDatabaseKeepsTheCasesThatMatter)
{
    ASSERT_TRUE(fx::requireFixtures());
    MemoryDb db;
    JetImport::load(fx::fixture(QStringLiteral("jet4-install/jst.mdb")), db.handle());

    // The long memo spans many long-value pages and comes whole.
    auto r = db.rows(QStringLiteral("SELECT length(content), substr(content, -3) FROM maindata "
                                    "WHERE length(content) > 100000"));
    ASSERT_EQ(r.size(), 1u);
    EXPECT_GE(r[0][0].value().toInt(), 300000);
    EXPECT_EQ(r[0][1], std::optional<QString>(QStringLiteral("龍骨尾")));

    // NULL and '' stay apart: LIKE '%%' finds '' but not NULL.
    r = db.rows(QStringLiteral("SELECT subject FROM maindata WHERE content IS NULL"));
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0][0], std::optional<QString>(QStringLiteral("空白內容")));
    r = db.rows(QStringLiteral("SELECT subject FROM maindata WHERE content = ''"));
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0][0], std::optional<QString>(QStringLiteral("空字串內容")));
    EXPECT_EQ(db.rows(QStringLiteral("SELECT 1 FROM maindata WHERE content LIKE '%%'")).size(), 15u);

    // Column types as SQLite sees them.
    r = db.rows(QStringLiteral("SELECT typeof(ID), typeof(subject), typeof(date) FROM maindata WHERE rowid = 1"));
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0][0], std::optional<QString>(QStringLiteral("integer")));
    EXPECT_EQ(r[0][1], std::optional<QString>(QStringLiteral("text")));
    EXPECT_EQ(r[0][2], std::optional<QString>(QStringLiteral("text")));
}

TEST(JetImport, SampleCollectionReadsBackExactly)
{
    ASSERT_TRUE(fx::requireFixtures());
    MemoryDb db;
    JetImport::load(fx::fixture(QStringLiteral("tcm-sample/jst.mdb")), db.handle());
    EXPECT_EQ(db.count(QStringLiteral("maindata")), 14812);
    expectRows(db, fx::readExpectedRows(fx::fixture(QStringLiteral("tcm-sample/expected-rows.tsv"))));
}

TEST(JetImport, Jet3FileDecodesItsCodePage)
{
    ASSERT_TRUE(fx::requireFixtures());
    MemoryDb db;
    JetImport::load(fx::fixture(QStringLiteral("jet3-northwind.mdb")), db.handle());
    const QStringList tables = db.tables();
    EXPECT_TRUE(tables.contains(QStringLiteral("Umsätze"))) << tables.join(u',').toStdString();
    EXPECT_TRUE(tables.contains(QStringLiteral("Order Details")));
    EXPECT_EQ(db.count(QStringLiteral("Umsätze")), 830);
    EXPECT_EQ(db.count(QStringLiteral("Order Details")), 2155);

    // Accented text in code page 1252, a NULL beside real text, money, yes/no.
    auto r = db.rows(QStringLiteral("SELECT ShipName, ShipCity, ShipRegion FROM \"Umsätze\" WHERE OrderID = 10332"));
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0][0], std::optional<QString>(QStringLiteral("Mère Paillarde")));
    EXPECT_EQ(r[0][1], std::optional<QString>(QStringLiteral("Montréal")));
    EXPECT_EQ(r[0][2], std::optional<QString>(QStringLiteral("Québec")));
    r = db.rows(QStringLiteral("SELECT ShipRegion FROM \"Umsätze\" WHERE OrderID = 10331"));
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0][0], std::nullopt);
    r = db.rows(QStringLiteral("SELECT Freight, typeof(Freight) FROM Orders WHERE OrderID = 10330"));
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0][0], std::optional<QString>(QStringLiteral("12.75")));
    EXPECT_EQ(r[0][1], std::optional<QString>(QStringLiteral("real")));
    r = db.rows(QStringLiteral("SELECT count(*) FROM Products WHERE Discontinued NOT IN (0, 1)"));
    EXPECT_EQ(r[0][0], std::optional<QString>(QStringLiteral("0")));
    r = db.rows(QStringLiteral("SELECT typeof(Picture) FROM Categories WHERE CategoryID = 1"));
    EXPECT_EQ(r[0][0], std::optional<QString>(QStringLiteral("blob")));
}

TEST(JetImport, LoadsOnlyTheTablesAskedFor)
{
    ASSERT_TRUE(fx::requireFixtures());
    MemoryDb db;
    // Jet names ignore case; a name the file lacks is no error here (the
    // query that needs it reports it).
    JetImport::load(fx::fixture(QStringLiteral("jet3-northwind.mdb")), db.handle(),
                    {QStringLiteral("umsätze"), QStringLiteral("SHIPPERS"), QStringLiteral("NoSuchTable")});
    EXPECT_EQ(db.tables(), (QStringList{QStringLiteral("Shippers"), QStringLiteral("Umsätze")}));
    EXPECT_EQ(db.count(QStringLiteral("Shippers")), 3);
}

TEST(JetImport, DatesComeAsTextThatSortsAsDates)
{
    ASSERT_TRUE(fx::requireFixtures());
    MemoryDb db;
    JetImport::load(fx::fixture(QStringLiteral("jet4-dates.mdb")), db.handle());
    const auto r = db.rows(QStringLiteral("SELECT IDCol, DateTimeCol, DateCol, TimeCol FROM DateTest ORDER BY IDCol"));
    ASSERT_GE(r.size(), 4u);
    const QString expected[4][3] = {
        {QStringLiteral("2021-12-02 00:00:00"), QStringLiteral("2021-12-02 00:00:00"), QStringLiteral("2021-12-02 00:00:00")},
        {QStringLiteral("9999-01-01 00:00:00"), QStringLiteral("9999-01-01 00:00:00"), QStringLiteral("9999-01-01 00:00:00")},
        {QStringLiteral("1898-01-01 00:00:00"), QStringLiteral("1899-01-01 00:00:00"), QStringLiteral("1900-01-01 00:00:00")},
        {QStringLiteral("0632-01-01 00:00:00"), QStringLiteral("0633-01-01 00:00:00"), QStringLiteral("0634-01-01 00:00:00")},
    };
    for (int i = 0; i < 4; ++i)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(r[i][c + 1], std::optional<QString>(expected[i][c])) << "row " << i + 1 << " column " << c + 1;

    // Text order is date order: oldest first.
    const auto sorted = db.rows(QStringLiteral("SELECT IDCol FROM DateTest WHERE IDCol <= 4 ORDER BY DateTimeCol"));
    ASSERT_EQ(sorted.size(), 4u);
    EXPECT_EQ(sorted[0][0], std::optional<QString>(QStringLiteral("4")));
    EXPECT_EQ(sorted[1][0], std::optional<QString>(QStringLiteral("3")));
    EXPECT_EQ(sorted[2][0], std::optional<QString>(QStringLiteral("1")));
    EXPECT_EQ(sorted[3][0], std::optional<QString>(QStringLiteral("2")));

    const auto text = db.rows(QStringLiteral("SELECT LongTextCol FROM DateTest WHERE IDCol = 6"));
    ASSERT_EQ(text.size(), 1u);
    EXPECT_EQ(text[0][0], std::optional<QString>(QStringLiteral("New line\r\nin field")));
}

TEST(JetImport, FailedLoadLeavesTheDatabaseAsItWas)
{
    ASSERT_TRUE(fx::requireFixtures());
    MemoryDb db;
    ASSERT_EQ(sqlite3_exec(db.handle(), "CREATE TABLE Shippers (x)", nullptr, nullptr, nullptr), SQLITE_OK);
    try {
        JetImport::load(fx::fixture(QStringLiteral("jet3-northwind.mdb")), db.handle());
        ADD_FAILURE() << "a table that exists already must stop the copy";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), ErrorCode::EngineFailure);
    }
    EXPECT_EQ(db.tables(), QStringList{QStringLiteral("Shippers")});

    // The same database takes a later load that succeeds.
    JetImport::load(fx::fixture(QStringLiteral("jet4-dates.mdb")), db.handle());
    EXPECT_EQ(db.tables(), (QStringList{QStringLiteral("Shippers"), QStringLiteral("DateTest")}));
}

TEST(JetImport, Jet3Big5FileKeepsUserDefinedCharacters)
{
    ASSERT_TRUE(fx::requireFixtures());
    // A Big5 Jet 3 file made from the western one: the code page field of the
    // header (offset 0x3C) says 950, and a text value of the same length holds
    // Big5 bytes with a user-defined character (FA40) at its end. The header
    // field is stored scrambled by a fixed key stream, which the known 1252
    // of the original gives away.
    QByteArray bytes = fx::readFile(fx::fixture(QStringLiteral("jet3-northwind.mdb")));
    ASSERT_FALSE(bytes.isEmpty());
    const uchar k0 = uchar(bytes[0x3C]) ^ (1252 & 0xFF);
    const uchar k1 = uchar(bytes[0x3D]) ^ (1252 >> 8);
    bytes[0x3C] = char((950 & 0xFF) ^ k0);
    bytes[0x3D] = char((950 >> 8) ^ k1);
    const QByteArray western("M\xE8re Paillarde");
    const QByteArray big5 = Cp950::encode(QStringLiteral("中文測試資料")) + QByteArray("\xFA\x40");
    ASSERT_EQ(big5.size(), western.size());
    ASSERT_TRUE(bytes.contains(western));
    bytes.replace(western, big5);

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = fx::writeFile(dir.filePath(QStringLiteral("big5.mdb")), bytes);
    MemoryDb db;
    JetImport::load(path, db.handle(), {QStringLiteral("Orders")});
    const auto r = db.rows(QStringLiteral("SELECT ShipName FROM Orders WHERE OrderID = 10332"));
    ASSERT_EQ(r.size(), 1u);
    const QString expected = Cp950::decode(big5);
    EXPECT_EQ(r[0][0], std::optional<QString>(expected));
    EXPECT_TRUE(expected.startsWith(QStringLiteral("中文測試資料")));
    EXPECT_GE(expected.back().unicode(), 0xE000); // the user-defined character, in the private use area
    EXPECT_LE(expected.back().unicode(), 0xF8FF);
}
