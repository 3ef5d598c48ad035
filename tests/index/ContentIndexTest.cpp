// The content index against the scan it stands in for: every composed search
// runs through both and must give the same cells in the same order. Then the
// ways an index goes wrong (changed rows, another version, damaged sets, a cut
// or zeroed file, a build stopped or killed halfway) must each end in the
// scan's rows or an error, never in other rows.
#include "platform/Error.h"
#include "platform/collection/Connection.h"
#include "platform/index/ContentIndex.h"
#include "platform/collection/Database.h"
#include "platform/index/IndexedSearch.h"
#include "search/core/QueryComposer.h"

#include "db/DbTestSupport.h"
#include "support/Fixtures.h"

#include <QFile>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

using namespace Orvanta;

namespace {

// Contents that make folding, NULL and the wildcards matter. Dates repeat so
// that ties fall back on storage order; some are NULL.
struct Doc {
    const char* content; // nullptr: NULL
    const char* date;    // nullptr: NULL
};

const Doc kDocs[] = {
    {"人參 甘草 桂枝湯", "2001-01-01 00:00:00"},
    {"人参 甘草", "2001-01-01 00:00:00"},
    {nullptr, "2003-05-01 00:00:00"},
    {"", "1999-12-31 00:00:00"},
    {"Ginseng RADIX ginseng", nullptr},
    {"ＧＩＮＳＥＮＧ ｶﾝｿﾞｳ カンゾウ", "2010-01-01 00:00:00"},
    {"it's 100% pure_stuff", "2001-01-01 00:00:00"},
    {"Straße STRASSE ǅ ǆ Σς σ", "1644-05-01 00:00:00"},
    {"𠀀𠀁 𝐀𝐁 \xee\x80\x80\xee\x80\x81 private", "2005-06-07 00:00:00"},
    {"[a] {b} \\c ^d $e", nullptr},
    {"人", "2001-01-01 00:00:00"},
    {"參人", "0200-01-01 00:00:00"},
    {"%%__''", "2010-01-01 00:00:00"},
    {"bad \xff\xfe bytes \xc3", "2002-02-02 00:00:00"},
    {"桂枝湯加人參", "2002-02-02 00:00:00"},
    // Cased letters outside the BMP (Deseret): 𐐀 folds to 𐐨.
    {"𐐀𐐁𐐂 𐐨 ǅx", "2004-04-04 00:00:00"},
    {"𐐪𐐫", "2004-04-04 00:00:00"},
};

void writeCollection(const QString& path, bool withIndex)
{
    DbTest::SqliteFile file(path);
    file.exec("CREATE TABLE maindata(subject TEXT, htm TEXT, content TEXT, date TEXT)");
    file.exec("BEGIN");
    long long rowid = 3; // rowids with gaps, not from 1
    for (const Doc& d : kDocs) {
        const QByteArray subject = "doc" + QByteArray::number(rowid);
        const QByteArray htm = "data\\" + QByteArray::number(rowid) + ".htm";
        file.insertText("INSERT INTO maindata(rowid, subject, htm, content, date) VALUES (?1, ?2, ?3, ?4, ?5)",
                        rowid, subject.constData(), htm.constData(), d.content, d.date, 4);
        rowid += 1 + rowid % 3;
    }
    // A number and a blob where text is expected: LIKE reads them as text.
    file.exec("INSERT INTO maindata VALUES ('number', 'n.htm', 12345, '2001-01-01 00:00:00')");
    file.exec("INSERT INTO maindata VALUES ('blob', 'b.htm', x'e4baba41', '2001-01-01 00:00:00')");
    file.exec("COMMIT");
    if (withIndex)
        EXPECT_TRUE(ContentIndex::build(file.handle()));
}

const QStringList kPieces = {
    QStringLiteral("人"), QStringLiteral("參"), QStringLiteral("人參"), QStringLiteral("人参"), QStringLiteral("甘草"),
    QStringLiteral("桂枝湯"), QStringLiteral("ginseng"), QStringLiteral("GINSENG"), QStringLiteral("ｇｉｎ"),
    QStringLiteral("ｶﾝ"), QStringLiteral("カン"), QStringLiteral("ss"), QStringLiteral("STRASSE"),
    QStringLiteral("straße"), QStringLiteral("ǆ"), QStringLiteral("Ǆ"), QStringLiteral("σ"), QStringLiteral("Σ"),
    QStringLiteral("ς"), QStringLiteral("𠀀"), QStringLiteral("𝐀𝐁"), QString(QChar(0xe000)), QStringLiteral("%"),
    QStringLiteral("_"), QStringLiteral("'"), QStringLiteral("''"), QStringLiteral("100%"), QStringLiteral("e_s"),
    QStringLiteral("[a]"), QStringLiteral("\\c"), QStringLiteral("123"), QStringLiteral("45"), QStringLiteral("人A"),
    QStringLiteral("a"), QStringLiteral("it's"), QStringLiteral("x"), QString(QChar(0xfffd)), QStringLiteral("枝湯加"),
    QStringLiteral("𐐨"), QStringLiteral("𐐀"), QStringLiteral("𐐩𐐪"), QStringLiteral("𐐨𐐩𐐪"), QStringLiteral("𐐂 𐐀"),
    QStringLiteral("湯加人參"), QStringLiteral("人參 甘"), QStringLiteral("ǆx"), QStringLiteral("RADIX"),
};

QStringList generatedQueries(int count)
{
    std::mt19937 rng(99);
    const QStringList starts = {QString(), QString(), QStringLiteral("+"), QStringLiteral("-"), QStringLiteral(" ")};
    QStringList out = {QString(), QStringLiteral("-"), QStringLiteral("+"), QStringLiteral("  "),
                       QStringLiteral("人參 人參 人參"), QStringLiteral("人參  甘草"), QStringLiteral("+人參  甘草")};
    while (out.size() < count) {
        QString q = starts[int(rng() % unsigned(starts.size()))];
        const int words = 1 + int(rng() % 4);
        for (int w = 0; w < words; ++w) {
            if (w)
                q += rng() % 8 ? QStringLiteral(" ") : QStringLiteral("  ");
            const int pieces = 1 + int(rng() % 2);
            for (int p = 0; p < pieces; ++p)
                q += kPieces[int(rng() % unsigned(kPieces.size()))];
        }
        out << q;
    }
    return out;
}

std::shared_ptr<const ResultTable> runWith(Connection& connection, const QString& sql, bool index)
{
    Database::setContentIndexUse(index);
    auto rows = connection.database()->execute(sql);
    Database::setContentIndexUse(true);
    return rows;
}

// Empty when both tables hold the same cells (NULL apart from ''), else the first difference.
std::string difference(const ResultTable& a, const ResultTable& b)
{
    if (a.columnNames() != b.columnNames())
        return "column names differ";
    if (a.rowCount() != b.rowCount())
        return std::to_string(a.rowCount()) + " rows against " + std::to_string(b.rowCount());
    for (qsizetype r = 0; r < a.rowCount(); ++r) {
        for (int c = 0; c < a.columnCount(); ++c) {
            if (a.cell(r, c) != b.cell(r, c) || a.isNull(r, c) != b.isNull(r, c))
                return "row " + std::to_string(r) + ": " + a.cellText(r, c).toStdString() + " against "
                    + b.cellText(r, c).toStdString();
        }
    }
    return {};
}

// The rows the database hands over one by one for a program that writes
// them out, gathered in a table with the scan's column names; nullptr when
// the statement was not served that way.
std::shared_ptr<const ResultTable> visitedRows(Connection& connection, const QString& sql)
{
    class Gather : public TitleStore::RowVisitor {
    public:
        explicit Gather(ResultTable& table) : m_table(table) {}
        void row(const TitleStore::StoredRow& row) override
        {
            for (int c = 0; c < 2; ++c) {
                if (row.units[c] == TitleStore::NullCell)
                    m_table.appendCell({}, true);
                else
                    m_table.appendLittleEndianCell(row.text[c], qsizetype(row.units[c]));
            }
        }

    private:
        ResultTable& m_table;
    };
    auto table = std::make_shared<ResultTable>(QStringList{QStringLiteral("subject"), QStringLiteral("htm")});
    Gather gather(*table);
    const qint64 rows = connection.database()->visitIndexed(sql, gather);
    if (rows < 0) {
        EXPECT_EQ(table->rowCount(), 0) << "rows handed over, yet not served";
        return nullptr;
    }
    EXPECT_EQ(rows, table->rowCount());
    return table;
}

// Each query through the index and through the scan; returns the rows found in all.
qsizetype expectSameRows(Connection& connection, const QStringList& queries)
{
    qsizetype total = 0;
    for (const QString& q : queries) {
        const QString sql = composeQuery(q).sql;
        const auto indexed = runWith(connection, sql, true);
        const auto scanned = runWith(connection, sql, false);
        EXPECT_EQ(difference(*indexed, *scanned), "") << "query ⟨" << q.left(80).toStdString() << "⟩";
        if (const auto visited = visitedRows(connection, sql))
            EXPECT_EQ(difference(*visited, *scanned), "") << "handed over, query ⟨" << q.left(80).toStdString() << "⟩";
        total += scanned->rowCount();
    }
    return total;
}

class ContentIndexSearch : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath(QStringLiteral("jst.mdb"));
        writeCollection(path, true);
        Database::dropSharedCopies();
    }
    void TearDown() override
    {
        Database::setContentIndexUse(true);
        Database::dropSharedCopies();
    }
    Connection open()
    {
        Connection c;
        c.open(DbTest::connectionStringFor(path));
        return c;
    }
    // Writes to the collection as another program would.
    void change(const char* sql)
    {
        DbTest::SqliteFile file(path);
        file.exec(sql);
    }

    QTemporaryDir dir;
    QString path;
};

} // namespace

TEST_F(ContentIndexSearch, ComposedSearchesGiveTheScansRows)
{
    Connection c = open();
    ASSERT_TRUE(c.database()->usesContentIndex());
    const qsizetype found = expectSameRows(c, generatedQueries(1500));
    EXPECT_GT(found, 1500); // the queries do find rows, not only nothing
}

TEST_F(ContentIndexSearch, CaseFoldingAndWidthAsLikeHasThem)
{
    Connection c = open();
    auto subjects = [&](const QString& q) {
        QStringList out;
        const auto rows = c.database()->execute(composeQuery(q).sql);
        for (qsizetype r = 0; r < rows->rowCount(); ++r)
            out << rows->cellText(r, 0);
        return out;
    };
    ASSERT_TRUE(c.database()->usesContentIndex());
    EXPECT_EQ(subjects(QStringLiteral("GINSENG")), QStringList{QStringLiteral("doc9")});
    EXPECT_EQ(subjects(QStringLiteral("ｇｉｎ")), QStringList{QStringLiteral("doc10")});
    EXPECT_EQ(subjects(QStringLiteral("ss")), QStringList{QStringLiteral("doc13")}); // STRASSE, not ß
    EXPECT_EQ(subjects(QStringLiteral("人参")), QStringList{QStringLiteral("doc4")});
    // Outside the BMP too, from one character to words the index must check.
    EXPECT_EQ(subjects(QStringLiteral("𐐨")), QStringList{QStringLiteral("doc25")});
    EXPECT_EQ(subjects(QStringLiteral("𐐪")), (QStringList{QStringLiteral("doc25"), QStringLiteral("doc27")}));
    EXPECT_EQ(subjects(QStringLiteral("𐐩")), (QStringList{QStringLiteral("doc25")}));
    EXPECT_EQ(subjects(QStringLiteral("𐐂𐐃")), (QStringList{QStringLiteral("doc27")}));
    EXPECT_EQ(subjects(QStringLiteral("𐐨𐐩𐐪")), (QStringList{QStringLiteral("doc25")}));
    // "人" newest first, equal dates by rowid: the blob's rowid is the highest.
    EXPECT_EQ(subjects(QStringLiteral("人")),
              (QStringList{"doc24", "doc3", "doc4", "doc18", "blob", "doc19"}));
}

TEST_F(ContentIndexSearch, ChainsOfTensOfThousandsOfWords)
{
    Connection c = open();
    QStringList queries;
    for (const int n : {32767, 40000}) {
        QString words;
        for (int i = 0; i < n; ++i)
            words += (i ? QStringLiteral(" ") : QString()) + kPieces[i % 3];
        queries << words << QStringLiteral("+") + words;
    }
    QString mixed = QStringLiteral("+");
    for (int i = 0; i < 40000; ++i)
        mixed += (i ? QStringLiteral(" ") : QString()) + kPieces[i % kPieces.size()] + QString::number(i % 7);
    queries << mixed;
    EXPECT_GT(expectSameRows(c, queries), 0);
}

TEST_F(ContentIndexSearch, WordsTheDialectSplitAreScanned)
{
    Connection c = open();
    const QStringList queries = {QString(QChar(0)), QStringLiteral("人") + QChar(0),
                                 QString(QChar(0xd840)), QStringLiteral("+人參 ") + QChar(0xdc00)};
    expectSameRows(c, queries);
}

TEST_F(ContentIndexSearch, CollectionWithoutIndexIsScanned)
{
    const QString old = dir.filePath(QStringLiteral("old.mdb"));
    writeCollection(old, false);
    Connection c;
    c.open(DbTest::connectionStringFor(old));
    EXPECT_FALSE(c.database()->usesContentIndex());
    const auto rows = c.database()->execute(composeQuery(QStringLiteral("人參")).sql);
    EXPECT_EQ(rows->rowCount(), 2);
}

TEST_F(ContentIndexSearch, ChangedRowsMakeTheIndexStale)
{
    const QString sql = composeQuery(QStringLiteral("甘草")).sql;
    struct Case {
        const char* what;
        const char* change;
        qsizetype rows; // "甘草" afterwards
    } const cases[] = {
        {"update", "UPDATE maindata SET content = '甘草' WHERE subject = 'doc12'", 3},
        {"delete", "DELETE FROM maindata WHERE subject = 'doc3'", 1},
        {"insert", "INSERT INTO maindata VALUES ('new', 'n.htm', '甘草', NULL)", 3},
        {"update without the triggers",
         "DROP TRIGGER orvanta_index_stale_update; UPDATE maindata SET content = '甘草' WHERE subject = 'doc12'", 3},
        {"insert without the triggers",
         "DROP TRIGGER orvanta_index_stale_insert; INSERT INTO maindata VALUES ('new', 'n.htm', '甘草', NULL)", 3},
        // The index holds the titles and the order too: a change to any of
        // them makes it stale as well.
        {"update of subject", "UPDATE maindata SET subject = 'renamed' WHERE subject = 'doc3'", 2},
        {"update of htm", "UPDATE maindata SET htm = 'moved.htm' WHERE subject = 'doc3'", 2},
        {"update of date", "UPDATE maindata SET date = '2020-01-01 00:00:00' WHERE subject = 'doc4'", 2},
        // A row added past the triggers, which are then put back as they
        // were: only the highest rowid tells.
        {"insert behind triggers put back",
         "DROP TRIGGER orvanta_index_stale_insert; INSERT INTO maindata VALUES ('new', 'n.htm', '甘草', NULL); "
         "CREATE TRIGGER orvanta_index_stale_insert AFTER INSERT ON maindata BEGIN DELETE FROM orvanta_index_info; END",
         3},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        writeCollection(path + QStringLiteral(".new"), true);
        QFile::remove(path);
        QFile::rename(path + QStringLiteral(".new"), path);
        Connection before = open(); // a database opened before the change
        ASSERT_TRUE(before.database()->usesContentIndex());
        ASSERT_EQ(before.database()->execute(sql)->rowCount(), 2);
        change(k.change);
        {
            DbTest::SqliteFile file(path);
            EXPECT_EQ(ContentIndex::state(file.handle()), ContentIndex::State::Stale);
        }
        const auto changed = before.database()->execute(sql);
        EXPECT_EQ(changed->rowCount(), k.rows);
        EXPECT_FALSE(before.database()->usesContentIndex());
        Connection after = open();
        EXPECT_EQ(after.database()->execute(sql)->rowCount(), k.rows);
        // The rows as they now stand: the database opened before the change
        // gives the cells and the order of a fresh scan.
        EXPECT_EQ(difference(*changed, *runWith(after, sql, false)), "");
        expectSameRows(after, {QStringLiteral("甘草"), QStringLiteral("+甘草 人")});
        Database::dropSharedCopies();
    }
}

TEST_F(ContentIndexSearch, AnotherFormatIsNotTrusted)
{
    change("UPDATE orvanta_index_info SET value = 99 WHERE name = 'format'");
    DbTest::SqliteFile file(path);
    EXPECT_EQ(ContentIndex::state(file.handle()), ContentIndex::State::Foreign);
    Connection c = open();
    EXPECT_FALSE(c.database()->usesContentIndex());
    // Building again replaces it.
    EXPECT_TRUE(ContentIndex::build(file.handle()));
    EXPECT_EQ(ContentIndex::state(file.handle()), ContentIndex::State::Current);
}

TEST_F(ContentIndexSearch, DamagedSetsFallBackToTheScan)
{
    const char* damages[] = {
        "UPDATE orvanta_index_grams SET sets = zeroblob(length(sets))",
        "UPDATE orvanta_index_grams SET sets = substr(sets, 1, length(sets) / 2)",
        // The right set behind a wrong checksum: the set is not trusted either.
        "UPDATE orvanta_index_grams SET sets = x'00000000' || substr(sets, 5)",
        "UPDATE orvanta_index_order SET rowids = zeroblob(length(rowids))",
        "DELETE FROM orvanta_index_order",
        "UPDATE orvanta_index_titles SET cells = zeroblob(length(cells))",
        "UPDATE orvanta_index_titles SET cells = substr(cells, 1, length(cells) - 2)",
        "DELETE FROM orvanta_index_titles",
    };
    for (const char* damage : damages) {
        SCOPED_TRACE(damage);
        writeCollection(path + QStringLiteral(".new"), true);
        QFile::remove(path);
        QFile::rename(path + QStringLiteral(".new"), path);
        Database::dropSharedCopies();
        change(damage);
        Connection c = open();
        expectSameRows(c, {QStringLiteral("人"), QStringLiteral("人參 甘草"), QStringLiteral("+甘草 桂枝湯"),
                           QStringLiteral("ginseng"), QString()});
        EXPECT_FALSE(c.database()->usesContentIndex());
    }
}

// A collection whose titles take many chunks: small pages, titles of one
// length (so that two rows' entries can change places), a few NULL, empty,
// long and supplementary-plane ones, and dates that tie.
class ContentIndexTitles : public ::testing::Test {
protected:
    static constexpr int Rows = 400;

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath(QStringLiteral("jst.mdb"));
        write();
        Database::dropSharedCopies();
    }
    void TearDown() override { Database::dropSharedCopies(); }

    void write()
    {
        Database::dropSharedCopies();
        QFile::remove(path);
        DbTest::SqliteFile file(path);
        file.exec("PRAGMA page_size=1024");
        file.exec("CREATE TABLE maindata(subject TEXT, htm TEXT, content TEXT, date TEXT)");
        file.exec("BEGIN");
        for (int i = 0; i < Rows; ++i) {
            QByteArray subject = "文件" + QByteArray::number(1000 + i);
            if (i % 97 == 5)
                subject = QByteArray();
            else if (i % 89 == 7)
                subject = "";
            else if (i == 123)
                subject = QByteArray(1500, 'x') + "\xf0\xa0\x80\x80";
            const QByteArray htm = "data\\" + QByteArray::number(5000 + i) + ".htm";
            const QByteArray date = "2001-01-" + QByteArray::number(10 + i % 20) + " 00:00:00";
            const char* content = i % 3 == 0 ? "人參 甘草" : i % 3 == 1 ? "甘草" : "桂枝";
            file.insertText("INSERT INTO maindata(rowid, subject, htm, content, date) VALUES (?1, ?2, ?3, ?4, ?5)",
                            2 + 2 * i + i % 5, subject.isNull() ? nullptr : subject.constData(), htm.constData(),
                            content, date.constData(), 4);
        }
        file.exec("COMMIT");
        EXPECT_TRUE(ContentIndex::build(file.handle()));
    }

    // Rewrites the blob of the `n`-th chunk of the titles.
    void damageChunk(int n, const std::function<void(QByteArray&)>& damage)
    {
        DbTest::SqliteFile file(path);
        sqlite3_stmt* st = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(file.handle(), "SELECT chunk, cells FROM orvanta_index_titles ORDER BY chunk LIMIT 1 OFFSET ?1",
                                     -1, &st, nullptr),
                  SQLITE_OK);
        sqlite3_bind_int(st, 1, n);
        ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
        const qint64 chunk = sqlite3_column_int64(st, 0);
        QByteArray blob(static_cast<const char*>(sqlite3_column_blob(st, 1)), sqlite3_column_bytes(st, 1));
        sqlite3_finalize(st);
        damage(blob);
        ASSERT_EQ(sqlite3_prepare_v2(file.handle(), "UPDATE orvanta_index_titles SET cells = ?2 WHERE chunk = ?1", -1, &st,
                                     nullptr),
                  SQLITE_OK);
        sqlite3_bind_int64(st, 1, chunk);
        sqlite3_bind_blob(st, 2, blob.constData(), int(blob.size()), SQLITE_TRANSIENT);
        EXPECT_EQ(sqlite3_step(st), SQLITE_DONE);
        sqlite3_finalize(st);
    }

    Connection open()
    {
        Connection c;
        c.open(DbTest::connectionStringFor(path));
        return c;
    }

    const QStringList queries = {QString(), QStringLiteral("甘草"), QStringLiteral("人參 甘草"),
                                 QStringLiteral("+人參 桂枝"), QStringLiteral("+甘草 桂枝")};
    QTemporaryDir dir;
    QString path;
};

quint32 little32(const QByteArray& b, qsizetype at)
{
    return quint32(quint8(b[at])) | quint32(quint8(b[at + 1])) << 8 | quint32(quint8(b[at + 2])) << 16
        | quint32(quint8(b[at + 3])) << 24;
}

void setLittle32(QByteArray& b, qsizetype at, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = char((v >> (8 * i)) & 0xFF);
}

TEST_F(ContentIndexTitles, ResultListsFromManyChunksGiveTheScansRows)
{
    {
        DbTest::SqliteFile file(path);
        sqlite3_stmt* st = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(file.handle(), "SELECT count(*) FROM orvanta_index_titles", -1, &st, nullptr), SQLITE_OK);
        ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
        EXPECT_GE(sqlite3_column_int(st, 0), 20);
        sqlite3_finalize(st);
    }
    Connection c = open();
    // Every row, 267 with 甘草, 134 with both words, 267 and 400 with either.
    EXPECT_EQ(expectSameRows(c, queries), 400 + 267 + 134 + 267 + 400);
    EXPECT_TRUE(c.database()->usesContentIndex());
}

TEST_F(ContentIndexTitles, DamagedTitlesFallBackToTheScan)
{
    // Offsets of a chunk: its row count, the ends of the entries, the entries.
    auto entries = [](const QByteArray& b) { return 4 + 4 * qsizetype(little32(b, 0)); };
    auto entryAt = [&](const QByteArray& b, quint32 i) { return entries(b) + (i == 0 ? 0 : little32(b, 4 + 4 * (i - 1))); };
    const struct {
        const char* what;
        std::function<void()> damage;
    } cases[] = {
        {"a chunk zeroed", [this] { damageChunk(3, [](QByteArray& b) { b.fill('\0'); }); }},
        {"a chunk cut short", [this] { damageChunk(3, [](QByteArray& b) { b.chop(7); }); }},
        {"a row count too large",
         [this] { damageChunk(3, [](QByteArray& b) { setLittle32(b, 0, little32(b, 0) + 1); }); }},
        {"a row count too small",
         [this] { damageChunk(3, [](QByteArray& b) { setLittle32(b, 0, little32(b, 0) - 1); }); }},
        {"a row's checksum wrong",
         [&] { damageChunk(3, [&](QByteArray& b) { b[entryAt(b, 1)] = char(b[entryAt(b, 1)] ^ 1); }); }},
        {"a title changed under its checksum",
         [&] {
             damageChunk(3, [&](QByteArray& b) { b[entryAt(b, 1) + 12] = char(b[entryAt(b, 1) + 12] ^ 1); });
         }},
        {"a row's offset pointing into another row",
         [this] { damageChunk(3, [](QByteArray& b) { setLittle32(b, 4, little32(b, 8)); }); }},
        {"a row's offset pointing at the next row's entry",
         [this] {
             // Row 1 read from row 2's entry, whole and of the same length.
             damageChunk(3, [](QByteArray& b) {
                 const quint32 step = little32(b, 8) - little32(b, 4);
                 setLittle32(b, 4, little32(b, 4) + step);
                 setLittle32(b, 8, little32(b, 8) + step);
             });
         }},
        {"two rows' entries exchanged",
         [&] {
             damageChunk(3, [&](QByteArray& b) {
                 const qsizetype one = entryAt(b, 1), two = entryAt(b, 2), three = entryAt(b, 3);
                 ASSERT_EQ(two - one, three - two);
                 const QByteArray first = b.mid(one, two - one);
                 b.replace(one, two - one, b.mid(two, three - two));
                 b.replace(two, three - two, first);
             });
         }},
        {"a chunk's key moved",
         [this] {
             DbTest::SqliteFile file(path);
             file.exec("UPDATE orvanta_index_titles SET chunk = chunk + 1 "
                       "WHERE chunk = (SELECT chunk FROM orvanta_index_titles ORDER BY chunk LIMIT 1 OFFSET 3)");
         }},
        {"a chunk missing",
         [this] {
             DbTest::SqliteFile file(path);
             file.exec("DELETE FROM orvanta_index_titles "
                       "WHERE chunk = (SELECT chunk FROM orvanta_index_titles ORDER BY chunk LIMIT 1 OFFSET 3)");
         }},
        {"the last chunk missing",
         [this] {
             DbTest::SqliteFile file(path);
             file.exec("DELETE FROM orvanta_index_titles WHERE chunk = (SELECT max(chunk) FROM orvanta_index_titles)");
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        write();
        c.damage();
        // Rows handed over one by one as they are read: those read before
        // the damage come from the index, the rest from maindata.
        for (const QString& q : queries) {
            Database::dropSharedCopies();
            Connection connection = open();
            const QString sql = composeQuery(q).sql;
            if (const auto visited = visitedRows(connection, sql)) {
                EXPECT_EQ(difference(*visited, *runWith(connection, sql, false)), "") << "query ⟨" << q.toStdString() << "⟩";
                if (q.isEmpty())
                    EXPECT_FALSE(connection.database()->usesContentIndex());
            }
        }
        Database::dropSharedCopies();
        Connection connection = open();
        expectSameRows(connection, queries);
        EXPECT_FALSE(connection.database()->usesContentIndex());
    }
}

TEST_F(ContentIndexSearch, CutOrZeroedFileNeverGivesOtherRows)
{
    QFile::rename(path, path + QStringLiteral(".good"));
    const QByteArray good = [&] {
        QFile f(path + QStringLiteral(".good"));
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    // The expected rows, from the intact file without its index.
    std::vector<std::shared_ptr<const ResultTable>> expected;
    const QStringList queries = {QStringLiteral("人"), QStringLiteral("人參 甘草"), QStringLiteral("+甘草 ginseng")};
    {
        Connection intact;
        intact.open(DbTest::connectionStringFor(path + QStringLiteral(".good")));
        for (const QString& q : queries)
            expected.push_back(runWith(intact, composeQuery(q).sql, false));
    }
    const qsizetype page = 4096;
    for (qsizetype at = page; at < good.size(); at += page) {
        for (const bool cut : {true, false}) {
            SCOPED_TRACE((cut ? "cut at " : "zeroed page at ") + std::to_string(at));
            QByteArray bytes = good;
            if (cut)
                bytes.truncate(at);
            else
                bytes.replace(at, page, QByteArray(page, '\0'));
            Database::dropSharedCopies();
            QFile::remove(path);
            QFile out(path);
            ASSERT_TRUE(out.open(QIODevice::WriteOnly));
            out.write(bytes);
            out.close();
            for (qsizetype i = 0; i < queries.size(); ++i) {
                try {
                    Connection c = open();
                    const auto rows = c.database()->execute(composeQuery(queries[i]).sql);
                    EXPECT_EQ(difference(*rows, *expected[size_t(i)]), "") << queries[i].toStdString();
                } catch (const Error&) {
                    // A damaged file may be refused; it may not give other rows.
                }
            }
        }
    }
}

TEST_F(ContentIndexSearch, StoppedBuildLeavesNothing)
{
    const QString fresh = dir.filePath(QStringLiteral("fresh.mdb"));
    writeCollection(fresh, false);
    DbTest::SqliteFile file(fresh);
    int calls = 0;
    EXPECT_FALSE(ContentIndex::build(file.handle(), [&](qint64, qint64 total) {
        EXPECT_EQ(total, qint64(std::size(kDocs)) + 2);
        return ++calls < 1;
    }));
    EXPECT_EQ(ContentIndex::state(file.handle()), ContentIndex::State::Missing);
    // Inside the caller's transaction too: the caller's own rows stay.
    file.exec("BEGIN");
    file.exec("INSERT INTO maindata VALUES ('mine', 'm.htm', 'x', NULL)");
    EXPECT_FALSE(ContentIndex::build(file.handle(), [](qint64, qint64) { return false; }));
    file.exec("COMMIT");
    EXPECT_EQ(ContentIndex::state(file.handle()), ContentIndex::State::Missing);
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(file.handle(), "SELECT count(*) FROM maindata WHERE subject = 'mine'", -1, &st, nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(st, 0), 1);
    sqlite3_finalize(st);
}

TEST_F(ContentIndexSearch, KilledBuildLeavesTheNextOpenCorrect)
{
    // The old index stands until the new one is complete: a build killed
    // halfway through rebuilding it (kill -9 alike) leaves the old one.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        sqlite3* db = nullptr;
        sqlite3_open(QFile::encodeName(path).constData(), &db);
        sqlite3_exec(db, "PRAGMA cache_size=1", nullptr, nullptr, nullptr); // pages reach the file early
        ContentIndex::build(db, [](qint64, qint64) -> bool { _exit(9); });
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 9);
    EXPECT_TRUE(QFile::exists(path + QStringLiteral("-journal")));
    // A search opens the file read-only and cannot roll the journal back: it
    // is refused then, never answered from the half-written file.
    EXPECT_NE(Orvanta::Test::errorNumberOf([&] { open().database()->execute(composeQuery(QStringLiteral("人")).sql); }),
              0);
    Database::dropSharedCopies();
    {
        // The next writer (the next build) rolls it back on its first read.
        DbTest::SqliteFile file(path);
        EXPECT_EQ(ContentIndex::state(file.handle()), ContentIndex::State::Current);
    }
    EXPECT_FALSE(QFile::exists(path + QStringLiteral("-journal")));
    Connection c = open();
    EXPECT_TRUE(c.database()->usesContentIndex());
    expectSameRows(c, {QStringLiteral("人"), QStringLiteral("人參 甘草"), QStringLiteral("+甘草 ginseng")});
}

TEST_F(ContentIndexSearch, ReadOnlyDatabaseRefusesTheBuild)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    const int number = Orvanta::Test::errorNumberOf([&] { ContentIndex::build(db); });
    EXPECT_EQ(number, ErrorCode::PathFileAccessError);
    EXPECT_EQ(ContentIndex::state(db), ContentIndex::State::Current);
    sqlite3_close(db);
}

// A disk that fills up during the build: the error says so, and the database
// is left as it was, without an index.
TEST_F(ContentIndexSearch, FullDiskStopsTheBuildAndSaysSo)
{
    const QString bare = dir.filePath(QStringLiteral("without-index.mdb"));
    writeCollection(bare, false);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(bare).constData(), &db), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA page_count", -1, &st, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    const int pages = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
    // No room beyond one page more than the collection takes: a full disk.
    const QByteArray limit = "PRAGMA max_page_count = " + QByteArray::number(pages + 1);
    ASSERT_EQ(sqlite3_exec(db, limit.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
    const int number = Orvanta::Test::errorNumberOf([&] { ContentIndex::build(db); });
    EXPECT_EQ(number, ErrorCode::DiskFull);
    EXPECT_EQ(ContentIndex::state(db), ContentIndex::State::Missing);
    sqlite3_close(db);
}

TEST(ContentIndexBuild, RefusesTablesItCannotStandFor)
{
    const char* schemas[] = {
        "CREATE TABLE t(subject, htm, content, date); CREATE VIEW maindata AS SELECT * FROM t",
        "CREATE TABLE maindata(subject, htm, content TEXT PRIMARY KEY, date) WITHOUT ROWID",
        "CREATE TABLE maindata(subject, htm, content, date, rowid)",
        "CREATE TABLE maindata(subject, htm, content)",
        "CREATE TABLE maindata(subject, htm, content, date); INSERT INTO maindata(rowid) VALUES (-1)",
        "CREATE TABLE maindata(subject, htm, content, date); INSERT INTO maindata(rowid) VALUES (4294967296)",
    };
    for (const char* schema : schemas) {
        SCOPED_TRACE(schema);
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, schema, nullptr, nullptr, nullptr), SQLITE_OK);
        EXPECT_FALSE(ContentIndex::build(db));
        EXPECT_EQ(ContentIndex::state(db), ContentIndex::State::Missing);
        sqlite3_close(db);
    }
}

// The index serves exactly the statements the composer writes: if the two
// drift apart, searches would silently fall back to the scan.
TEST(IndexedSearchStatements, EveryComposedSearchWithWordsIsRecognized)
{
    QStringList queries = generatedQueries(800);
    queries << QStringLiteral("it's") << QStringLiteral("'&chr(39)&'") << QStringLiteral("a%' or 1=1 --")
            << QStringLiteral("+'") << QStringLiteral("-'' ''") << QStringLiteral("%' ");
    for (const QString& q : queries) {
        const ComposedQuery composed = composeQuery(q);
        const auto statement = IndexedSearch::recognize(composed.sql);
        if (composed.wordCount == 0 && composed.mode == QLatin1String("mod4")) {
            EXPECT_FALSE(statement) << q.toStdString();
            continue;
        }
        ASSERT_TRUE(statement) << q.toStdString();
        EXPECT_EQ(statement->allWords, composed.mode != QLatin1String("mod4"));
        ASSERT_EQ(int(statement->patterns.size()), composed.wordCount);
        const QStringList words = splitWords(composed.mode == QLatin1String("mod3a") ? composed.trimmed
                                                                                      : composed.trimmed.mid(1));
        for (int i = 0; i < composed.wordCount; ++i)
            EXPECT_EQ(statement->patterns[size_t(i)], ("%" + words[i] + "%").toStdString()) << q.toStdString();
    }
    const auto everything = IndexedSearch::recognize(QStringLiteral("select subject,htm from  maindata order by date desc"));
    ASSERT_TRUE(everything);
    EXPECT_TRUE(everything->allWords && everything->patterns.empty());
    EXPECT_FALSE(IndexedSearch::recognize(QStringLiteral("select subject,htm from  maindata order by date desc ")));
    EXPECT_FALSE(IndexedSearch::recognize(QStringLiteral("select subject,htm from  maindata order by date")));
    EXPECT_FALSE(IndexedSearch::recognize(
        QStringLiteral("select subject,htm from  maindata where 1=1 and content like '%a%' order by [date] desc")));
    EXPECT_FALSE(IndexedSearch::recognize(
        QStringLiteral("select subject,htm from  maindata where 1=1 and content like '%a%' or 1=1 order by [date] desc ")));
}
