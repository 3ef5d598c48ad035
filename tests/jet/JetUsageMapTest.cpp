// A table's usage map, and the list of tables, damaged in copies of the real
// files. The map is one row of a page that only the table definition names:
// when it cannot be read, every data page still names its table in its
// header, so the rows come back whole and in their order, and the report
// says nothing was lost. A list of tables that lost the pages naming the
// tables is a damaged database, never a file without tables. Both kinds of
// map live in one file, past the usual length, since they share the helpers
// that find a map in the file from the definition that names it.
#include "jet/JetTestSupport.h"
#include "support/Fixtures.h"

#include "platform/Error.h"
#include "platform/jet/DamageReport.h"
#include "platform/jet/JetImport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <set>

using namespace Orvanta;
using Orvanta::Test::ExpectedRow;
using Orvanta::Test::MemoryDb;
namespace fx = Orvanta::Test;

namespace {

// Where Jet 4 and Jet 3 keep what these tests look at.
struct Layout {
    int pageSize;
    int rowCountOffset;  // of a data page
    int usageMapOffset;  // of the map's page and row in a table definition
};
constexpr Layout kJet4{4096, 12, 55};
constexpr Layout kJet3{2048, 8, 35};
constexpr int kCatalogDefinition = 2;

quint32 le16(const QByteArray& b, qsizetype at)
{
    return quint32(uchar(b[at])) | quint32(uchar(b[at + 1])) << 8;
}

quint32 le32(const QByteArray& b, qsizetype at)
{
    return le16(b, at) | le16(b, at + 2) << 16;
}

void setLe32(QByteArray& b, qsizetype at, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = char((v >> (8 * i)) & 0xFF);
}

struct JetFile {
    QByteArray bytes;
    Layout layout;

    int pages() const { return int(bytes.size() / layout.pageSize); }
    qsizetype at(int page) const { return qsizetype(page) * layout.pageSize; }
    bool isDataPageOf(int page, int definition) const
    {
        return bytes[at(page)] == 0x01 && le32(bytes, at(page) + 4) == quint32(definition);
    }
    std::vector<int> dataPagesOf(int definition) const
    {
        std::vector<int> out;
        for (int pg = 1; pg < pages(); ++pg)
            if (isDataPageOf(pg, definition))
                out.push_back(pg);
        return out;
    }
    void zeroPage(int page) { bytes.replace(at(page), layout.pageSize, QByteArray(layout.pageSize, '\0')); }
};

// The usage map of a table, as its definition names it: a row of a data page.
struct UsageMap {
    int page = 0;
    int row = 0;
    qsizetype start = 0; // its bytes in the file
    qsizetype end = 0;
};

// Empty when the definition names no row of a data page.
std::optional<UsageMap> usageMapOf(const JetFile& f, int definition)
{
    const quint32 pageRow = le32(f.bytes, f.at(definition) + f.layout.usageMapOffset);
    UsageMap m;
    m.page = int(pageRow >> 8);
    m.row = int(pageRow & 0xFF);
    if (m.page <= 0 || m.page >= f.pages())
        return std::nullopt;
    const qsizetype base = f.at(m.page);
    const int rco = f.layout.rowCountOffset;
    if (f.bytes[base] != 0x01 || quint32(m.row) >= le16(f.bytes, base + rco))
        return std::nullopt;
    m.start = base + (le16(f.bytes, base + rco + 2 + m.row * 2) & 0x1FFF);
    m.end = base + (m.row == 0 ? f.layout.pageSize : (le16(f.bytes, base + rco + m.row * 2) & 0x1FFF));
    if (m.end - m.start < 5)
        return std::nullopt;
    return m;
}

bool isDefinition(const JetFile& f, int page)
{
    return page > 0 && page < f.pages() && f.bytes[f.at(page)] == 0x02;
}

// maindata's definition: the owner named by the data page that holds the
// first row of the fixture (its page path stored as UCS-2); 0 when not found.
int maindataDefinition(const JetFile& f, const QString& firstHtm)
{
    const qsizetype at = f.bytes.indexOf(
        QByteArrayView(reinterpret_cast<const char*>(firstHtm.utf16()), firstHtm.size() * 2));
    if (at <= 0)
        return 0;
    const int definition = int(le32(f.bytes, f.at(int(at / f.layout.pageSize)) + 4));
    return isDefinition(f, definition) ? definition : 0;
}

JetImport::Limits testLimits()
{
    JetImport::Limits limits;
    limits.memoryBytes = qint64(512) << 20;
    limits.cpuSeconds = 20;
    limits.wallSeconds = 30;
    return limits;
}

using Rows = std::vector<std::vector<std::optional<QString>>>;

Rows maindataRows(const MemoryDb& db)
{
    return db.rows(QStringLiteral("SELECT subject, htm, content, date FROM maindata ORDER BY rowid"));
}

Rows expectedRows(const QString& fixtureFolder)
{
    Rows out;
    for (const ExpectedRow& r : fx::readExpectedRows(fx::fixture(fixtureFolder + QStringLiteral("/expected-rows.tsv"))))
        out.push_back({r.subject, r.htm, r.content, r.date});
    return out;
}

// Rows equal to `expected` at the same place, out of its count.
qsizetype rowsInPlace(const Rows& served, const Rows& expected)
{
    qsizetype same = 0;
    for (std::size_t i = 0; i < served.size() && i < expected.size(); ++i)
        same += served[i] == expected[i];
    return same;
}

class JetUsageMap : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fx::requireFixtures());
        ASSERT_TRUE(m_dir.isValid());
    }

    QString write(const QByteArray& bytes)
    {
        return fx::writeFile(m_dir.filePath(QString::number(++m_files) + QStringLiteral("/jst.mdb")), bytes);
    }

    QTemporaryDir m_dir;
    int m_files = 0;
};

} // namespace

// The map of maindata lost in several ways, in the large sample and the small
// install: every row is served, in the order of the sound file, and nothing
// is reported lost, because nothing was.
TEST_F(JetUsageMap, UnreadableMapServesEveryRowInOrder)
{
    struct Damage {
        const char* what;
        // Changes the file; false when the map is not of the kind it damages.
        std::function<bool(JetFile&, const UsageMap&)> apply;
    };
    const Damage damages[] = {
        {"sound", [](JetFile&, const UsageMap&) { return true; }},
        {"the map's page zeroed",
         [](JetFile& f, const UsageMap& m) {
             f.zeroPage(m.page);
             return true;
         }},
        {"the map's row zeroed in place",
         [](JetFile& f, const UsageMap& m) {
             f.bytes.replace(m.start, m.end - m.start, QByteArray(m.end - m.start, '\0'));
             return true;
         }},
        {"the map of an unknown type",
         [](JetFile& f, const UsageMap& m) {
             f.bytes[m.start] = char(0x07);
             return true;
         }},
        {"the map's first page of bits zeroed",
         [](JetFile& f, const UsageMap& m) {
             if (f.bytes[m.start] != 0x01)
                 return false;
             const int bits = int(le32(f.bytes, m.start + 1));
             EXPECT_EQ(f.bytes[f.at(bits)], 0x05) << "page " << bits << " is a page of bits";
             f.zeroPage(bits);
             return true;
         }},
        {"the map's first page of bits past the end of the file",
         [](JetFile& f, const UsageMap& m) {
             if (f.bytes[m.start] != 0x01)
                 return false;
             setLe32(f.bytes, m.start + 1, quint32(f.pages() + 1000));
             return true;
         }},
        {"the map's pages of bits naming no page",
         [](JetFile& f, const UsageMap& m) {
             if (f.bytes[m.start] != 0x01)
                 return false;
             for (qsizetype at = m.start + 1; at + 4 <= m.end; at += 4) {
                 const int bits = int(le32(f.bytes, at));
                 if (bits != 0)
                     f.bytes.replace(f.at(bits) + 4, f.layout.pageSize - 4, QByteArray(f.layout.pageSize - 4, '\0'));
             }
             return true;
         }},
    };
    for (const QString folder : {QStringLiteral("tcm-sample"), QStringLiteral("jet4-install")}) {
        const Rows expected = expectedRows(folder);
        ASSERT_FALSE(expected.empty());
        JetFile sound{fx::readFile(fx::fixture(folder + QStringLiteral("/jst.mdb"))), kJet4};
        const int definition = maindataDefinition(sound, *expected.front()[1]);
        ASSERT_GT(definition, 0) << folder.toStdString();
        const std::optional<UsageMap> found = usageMapOf(sound, definition);
        ASSERT_TRUE(found) << folder.toStdString();
        const UsageMap map = *found;
        // Both maps are pages of bits, so every damage applies.
        std::size_t applied = 0;
        for (const Damage& damage : damages) {
            JetFile file = sound;
            if (!damage.apply(file, map))
                continue;
            ++applied;
            const std::string what = folder.toStdString() + ", " + damage.what;
            MemoryDb db;
            DamageReport report;
            try {
                report = JetImport::load(write(file.bytes), db.handle(), {}, testLimits());
            } catch (const Error& e) {
                ADD_FAILURE() << what << ": " << e.number() << " " << e.text().toStdString();
                continue;
            }
            const Rows served = maindataRows(db);
            EXPECT_GE(rowsInPlace(served, expected) * 100, qsizetype(expected.size()) * 99) << what;
            EXPECT_EQ(served.size(), expected.size()) << what;
            EXPECT_TRUE(served == expected) << what << ": " << rowsInPlace(served, expected) << " of "
                                            << expected.size() << " rows in place";
            EXPECT_TRUE(report.isEmpty()) << what << ": " << report.text(QStringLiteral("jst.mdb")).toStdString();
        }
        EXPECT_EQ(applied, std::size(damages)) << folder.toStdString();
    }
}

// Where the map cannot be read, a page that names the table but is no sound
// data page is skipped like any damaged page and reported; where the map can
// be read, a page it does not list is not the table's, whatever it says.
TEST_F(JetUsageMap, PageNamingTheTableButNoDataPageIsSkipped)
{
    const Rows expected = expectedRows(QStringLiteral("jet4-install"));
    const JetFile sound{fx::readFile(fx::fixture(QStringLiteral("jet4-install/jst.mdb"))), kJet4};
    const int definition = maindataDefinition(sound, *expected.front()[1]);
    ASSERT_GT(definition, 0);
    const std::optional<UsageMap> map = usageMapOf(sound, definition);
    ASSERT_TRUE(map);
    const std::vector<int> dataPages = sound.dataPagesOf(definition);
    ASSERT_FALSE(dataPages.empty());
    const QByteArray realPage = sound.bytes.mid(sound.at(dataPages.front()), kJet4.pageSize);
    const int rco = kJet4.rowCountOffset;

    // Pages whose header names maindata, added at the end of the file.
    struct Fake {
        const char* what;
        QByteArray page;
    };
    std::vector<Fake> fakes;
    {
        QByteArray p(kJet4.pageSize, '\0');
        p[0] = 0x01;
        p[1] = 0x01;
        setLe32(p, 4, quint32(definition));
        QByteArray rows = p;
        rows[rco] = char(0xFF);
        rows[rco + 1] = char(0x7F); // more rows than the page can hold
        fakes.push_back({"an impossible row count", rows});
        QByteArray offsets = p;
        offsets[rco] = 3;
        for (int r = 0; r < 3; ++r) { // rows that begin inside the row table
            offsets[rco + 2 + r * 2] = char(4 + r);
            offsets[rco + 3 + r * 2] = 0;
        }
        fakes.push_back({"rows outside the page's data", offsets});
    }
    {
        QByteArray kind = realPage; // a real page of the table, but not a data page
        kind[1] = 0x02;
        fakes.push_back({"a page of another kind", kind});
    }

    for (const Fake& fake : fakes) {
        for (const bool mapLost : {true, false}) {
            JetFile file = sound;
            if (mapLost)
                file.zeroPage(map->page);
            file.bytes.append(fake.page);
            const std::string what = std::string(fake.what) + (mapLost ? ", map lost" : ", map sound");
            MemoryDb db;
            DamageReport report;
            try {
                report = JetImport::load(write(file.bytes), db.handle(), {}, testLimits());
            } catch (const Error& e) {
                ADD_FAILURE() << what << ": " << e.number() << " " << e.text().toStdString();
                continue;
            }
            EXPECT_TRUE(maindataRows(db) == expected) << what;
            if (!mapLost) {
                EXPECT_TRUE(report.isEmpty()) << what;
                continue;
            }
            ASSERT_EQ(report.tables.size(), 1u) << what;
            // Each page one past a page of the table that is not one itself.
            const std::vector<int> pages = sound.dataPagesOf(definition);
            const qint64 wrong = std::count_if(pages.begin(), pages.end(), [&](int pg) {
                return !std::binary_search(pages.begin(), pages.end(), pg + 1);
            });
            EXPECT_EQ(report.tables.front().pagesSkipped, wrong) << what;
            EXPECT_EQ(report.tables.front().rowsLeftOut, 0) << what;
            EXPECT_EQ(report.tables.front().rowsInPart, 0) << what;
        }
    }
}

// Jet 3 keeps its maps the same way: every table of the sample, with the map
// of its largest table lost, reads as the sound file does.
TEST_F(JetUsageMap, Jet3TableWithoutItsMapReadsAsTheSoundFile)
{
    const QString largest = QStringLiteral("Order Details");
    const JetFile sound{fx::readFile(fx::fixture(QStringLiteral("jet3-northwind.mdb"))), kJet3};
    MemoryDb soundDb;
    ASSERT_TRUE(JetImport::load(fx::fixture(QStringLiteral("jet3-northwind.mdb")), soundDb.handle()).isEmpty());
    // Its definition: the one owner of data pages that counts its rows.
    constexpr int kRowsOffset = 12;
    std::set<int> owners;
    for (int pg = 1; pg < sound.pages(); ++pg)
        if (sound.bytes[sound.at(pg)] == 0x01)
            owners.insert(int(le32(sound.bytes, sound.at(pg) + 4)));
    int definition = 0;
    for (const int owner : owners) {
        if (isDefinition(sound, owner) && le32(sound.bytes, sound.at(owner) + kRowsOffset) == quint32(soundDb.count(largest))) {
            ASSERT_EQ(definition, 0) << "two tables count as many rows";
            definition = owner;
        }
    }
    ASSERT_GT(definition, 0);
    const std::optional<UsageMap> map = usageMapOf(sound, definition);
    ASSERT_TRUE(map);
    ASSERT_EQ(sound.bytes[map->start], 0x00) << "a map of bits from a first page";

    JetFile zeroed = sound;
    zeroed.zeroPage(map->page);
    MemoryDb db;
    const DamageReport report = JetImport::load(write(zeroed.bytes), db.handle(), {}, testLimits());
    EXPECT_TRUE(report.isEmpty()) << report.text(QStringLiteral("jst.mdb")).toStdString();
    ASSERT_EQ(db.tables(), soundDb.tables());
    for (const QString& table : soundDb.tables()) {
        const QString sql = QStringLiteral("SELECT * FROM \"%1\" ORDER BY rowid").arg(table);
        EXPECT_TRUE(db.rows(sql) == soundDb.rows(sql)) << table.toStdString();
    }
}

// A list of tables that lost its pages, or its map, so that it names no table
// at all, is a damaged database (3049), in Jet 4 and Jet 3 alike; it never
// passes for a file without tables, which a query would take for one without
// the table asked for (3078). A list that lost a page but still names tables
// serves them.
TEST_F(JetUsageMap, DamagedListOfTablesIsADamagedDatabase)
{
    struct Source {
        QString fixture;
        Layout layout;
    };
    const Source sources[] = {
        {QStringLiteral("tcm-sample/jst.mdb"), kJet4},
        {QStringLiteral("jet4-install/jst.mdb"), kJet4},
        {QStringLiteral("jet3-northwind.mdb"), kJet3},
    };
    for (const Source& source : sources) {
        const JetFile sound{fx::readFile(fx::fixture(source.fixture)), source.layout};
        const std::vector<int> catalogPages = sound.dataPagesOf(kCatalogDefinition);
        ASSERT_FALSE(catalogPages.empty()) << source.fixture.toStdString();
        const std::optional<UsageMap> map = usageMapOf(sound, kCatalogDefinition);
        ASSERT_TRUE(map) << source.fixture.toStdString();
        MemoryDb soundDb;
        JetImport::load(fx::fixture(source.fixture), soundDb.handle());
        ASSERT_FALSE(soundDb.tables().isEmpty());

        struct Case {
            std::string what;
            JetFile file;
            bool damaged;
        };
        std::vector<Case> cases;
        JetFile all = sound;
        for (const int pg : catalogPages)
            all.zeroPage(pg);
        cases.push_back({"every page of the list zeroed", all, true});
        JetFile lostMap = sound;
        lostMap.zeroPage(map->page);
        cases.push_back({"its map's page zeroed", lostMap, true});
        if (catalogPages.size() > 1) {
            JetFile allButFirst = sound; // the first lists the list itself
            for (std::size_t i = 1; i < catalogPages.size(); ++i)
                allButFirst.zeroPage(catalogPages[i]);
            cases.push_back({"every page but the first zeroed", allButFirst, true});
            JetFile last = sound;
            last.zeroPage(catalogPages.back());
            cases.push_back({"its last page zeroed", last, false});
        }

        for (const Case& c : cases) {
            const std::string name = source.fixture.toStdString() + ", " + c.what;
            MemoryDb db;
            QString text;
            const int number = fx::errorNumberOf(
                [&] { JetImport::load(write(c.file.bytes), db.handle(), {}, testLimits()); }, &text);
            if (c.damaged) {
                EXPECT_EQ(number, ErrorCode::DatabaseDamaged) << name << ": " << text.toStdString();
                EXPECT_TRUE(db.tables().isEmpty()) << name;
                continue;
            }
            EXPECT_EQ(number, 0) << name << ": " << text.toStdString();
            // The tables it still names come whole.
            EXPECT_FALSE(db.tables().isEmpty()) << name;
            for (const QString& table : db.tables()) {
                ASSERT_TRUE(soundDb.tables().contains(table)) << name << ": " << table.toStdString();
                const QString sql = QStringLiteral("SELECT * FROM \"%1\" ORDER BY rowid").arg(table);
                EXPECT_TRUE(db.rows(sql) == soundDb.rows(sql)) << name << ": " << table.toStdString();
            }
        }
    }
}
