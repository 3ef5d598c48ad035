// Damaged, cut and foreign files: every one ends in an Orvanta::Error (or, for
// a byte that hits nothing the copy reads, in a complete copy), never in a
// crash or hang of the program. The mutations are seeded, so every run sees
// the same files.
#include "jet/JetTestSupport.h"
#include "support/Fixtures.h"
#include "support/SalvageCheck.h"

#include "platform/Error.h"
#include "platform/jet/JetImport.h"
#include "platform/jet/DamageReport.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>

using namespace Orvanta;
using Orvanta::Test::MemoryDb;
namespace fx = Orvanta::Test;

namespace {

constexpr int kJet4Page = 4096;
constexpr int kJet3Page = 2048;
constexpr int kInstallRows = 16;

JetImport::Limits smallLimits()
{
    JetImport::Limits limits;
    limits.memoryBytes = qint64(512) << 20;
    limits.cpuSeconds = 5;
    limits.wallSeconds = 10;
    return limits;
}

// Title, page, date, then the searchable text, which may come in part.
fx::SalvageRows documentRows(const MemoryDb& db)
{
    fx::SalvageRows out;
    out.rows = db.rows(QStringLiteral("SELECT subject, htm, date, content FROM maindata"));
    return out;
}

fx::SalvageRows documentRows(const QString& soundFile)
{
    MemoryDb db;
    JetImport::load(soundFile, db.handle());
    return documentRows(db);
}

// The error of loading `path`, or number 0 when the load succeeded.
Error loadError(const QString& path, MemoryDb& db)
{
    try {
        JetImport::load(path, db.handle(), {}, smallLimits());
    } catch (const Error& e) {
        return e;
    }
    return Error(0, QString());
}

class JetDamage : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fx::requireFixtures());
        ASSERT_TRUE(m_dir.isValid());
        m_install = fx::readFile(fx::fixture(QStringLiteral("jet4-install/jst.mdb")));
        ASSERT_EQ(m_install.size() % kJet4Page, 0);
        findPages();
        ASSERT_GT(m_dataPage, 0);
        ASSERT_GT(m_definition, 0);
        ASSERT_GE(m_longValuePages.size(), 3u);
    }

    QString write(const QByteArray& bytes, const QString& name = QStringLiteral("jst.mdb"))
    {
        return fx::writeFile(m_dir.filePath(QString::number(++m_files) + QLatin1Char('/') + name), bytes);
    }

    // The pages of maindata: the data page that holds a row we know (its
    // text stored as UCS-2), the table definition that the data page names at
    // offset 4, and the long-value pages of its memos.
    void findPages()
    {
        const QString known = QStringLiteral("data\\a001.htm");
        const qsizetype at = m_install.indexOf(
            QByteArrayView(reinterpret_cast<const char*>(known.utf16()), known.size() * 2));
        ASSERT_GT(at, 0);
        m_dataPage = int(at / kJet4Page);
        const auto* bytes = reinterpret_cast<const uchar*>(m_install.constData());
        const uchar* data = bytes + qsizetype(m_dataPage) * kJet4Page;
        m_definition = int(data[4] | data[5] << 8 | data[6] << 16);
        for (int pg = 1; pg < m_install.size() / kJet4Page; ++pg) {
            const uchar* p = bytes + qsizetype(pg) * kJet4Page;
            if (p[0] == 0x01 && std::memcmp(p + 4, "LVAL", 4) == 0)
                m_longValuePages.push_back(pg);
        }
    }

    static QByteArray withPage(QByteArray file, int page, int pageSize, const QByteArray& content)
    {
        file.replace(qsizetype(page) * pageSize, pageSize, content);
        return file;
    }

    static QByteArray randomBytes(std::mt19937& rng, int n)
    {
        QByteArray b(n, '\0');
        for (char& c : b)
            c = char(rng() & 0xFF);
        return b;
    }

    QTemporaryDir m_dir;
    QByteArray m_install;
    int m_dataPage = 0;
    int m_definition = 0;
    std::vector<int> m_longValuePages;
    int m_files = 0;
};

} // namespace

TEST_F(JetDamage, MissingFileOrFolderIsNotFound)
{
    MemoryDb db;
    Error e = loadError(m_dir.filePath(QStringLiteral("nothing/jst.mdb")), db);
    EXPECT_EQ(e.number(), ErrorCode::DatabaseFileNotFound);
    EXPECT_TRUE(e.text().contains(QStringLiteral("nothing/jst.mdb"))) << e.text().toStdString();

    ASSERT_TRUE(QDir(m_dir.path()).mkpath(QStringLiteral("folder/jst.mdb")));
    e = loadError(m_dir.filePath(QStringLiteral("folder/jst.mdb")), db);
    EXPECT_EQ(e.number(), ErrorCode::DatabaseFileNotFound);
    EXPECT_TRUE(db.tables().isEmpty());
}

TEST_F(JetDamage, ForeignFilesAreUnrecognized)
{
    const QByteArray cases[] = {
        QByteArray(),
        QByteArray("<html><body>not a database</body></html>"),
        QByteArray("SQLite format 3\0", 16) + QByteArray(8192, '\0'),
        withPage(m_install, 0, kJet4Page, QByteArray(kJet4Page, '\0')),
    };
    for (const QByteArray& bytes : cases) {
        MemoryDb db;
        const QString path = write(bytes);
        const Error e = loadError(path, db);
        EXPECT_EQ(e.number(), ErrorCode::UnrecognizedFormat) << e.text().toStdString();
        EXPECT_TRUE(e.text().contains(path)) << e.text().toStdString();
        EXPECT_TRUE(db.tables().isEmpty());
    }
}

TEST_F(JetDamage, DamagedHeaderCatalogOrDefinitionIsAnError)
{
    // Cut inside the first pages, or the catalog, the table's definition or
    // its only data page gone: nothing of the table can be read.
    std::vector<QByteArray> files;
    for (qsizetype cut : {qsizetype(40), qsizetype(100), qsizetype(kJet4Page), qsizetype(2 * kJet4Page),
                          qsizetype(3 * kJet4Page + 17)})
        files.push_back(m_install.left(cut));
    std::mt19937 rng(20261210);
    for (int page : {2, m_definition, m_dataPage}) {
        files.push_back(withPage(m_install, page, kJet4Page, QByteArray(kJet4Page, '\0')));
        files.push_back(withPage(m_install, page, kJet4Page, randomBytes(rng, kJet4Page)));
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        MemoryDb db;
        const Error e = loadError(write(files[i]), db);
        EXPECT_TRUE(e.number() == ErrorCode::DatabaseDamaged || e.number() == ErrorCode::UnrecognizedFormat)
            << "case " << i << ": " << e.number() << " " << e.text().toStdString();
        EXPECT_TRUE(db.tables().isEmpty()) << "case " << i;
    }

    const QByteArray jet3 = fx::readFile(fx::fixture(QStringLiteral("jet3-northwind.mdb")));
    MemoryDb db;
    const Error e = loadError(write(jet3.left(qsizetype(kJet3Page) * 3)), db);
    EXPECT_EQ(e.number(), ErrorCode::DatabaseDamaged) << e.text().toStdString();
    EXPECT_TRUE(db.tables().isEmpty());
}

// Long-value pages zeroed, filled with noise or swapped, and files cut after
// the table's rows: every row is served, the ones whose text lost a page with
// what could be read of it and named in the report, the others whole.
TEST_F(JetDamage, LostLongValuePagesCostOnlyTextAndAreReported)
{
    const fx::SalvageRows original = documentRows(fx::fixture(QStringLiteral("jet4-install/jst.mdb")));
    ASSERT_EQ(original.rows.size(), std::size_t(kInstallRows));
    const std::size_t lv = m_longValuePages.size();
    std::mt19937 rng(11);
    struct Case {
        const char* what;
        QByteArray bytes;
    };
    std::vector<Case> cases;
    for (std::size_t at : {std::size_t(0), lv / 4, lv / 2, lv - 1}) {
        const int page = m_longValuePages[at];
        cases.push_back({"zeroed", withPage(m_install, page, kJet4Page, QByteArray(kJet4Page, '\0'))});
        cases.push_back({"noise", withPage(m_install, page, kJet4Page, randomBytes(rng, kJet4Page))});
        const int other = m_longValuePages[(at + lv / 3) % lv];
        QByteArray swapped = withPage(m_install, page, kJet4Page, m_install.mid(qsizetype(other) * kJet4Page, kJet4Page));
        cases.push_back({"swapped", withPage(swapped, other, kJet4Page, m_install.mid(qsizetype(page) * kJet4Page, kJet4Page))});
    }
    const qsizetype size = m_install.size();
    for (qsizetype cut : {size / 2, size - kJet4Page, size - 100, size - 1})
        cases.push_back({"cut", m_install.left(cut)});

    int reported = 0;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const QString path = write(cases[i].bytes);
        MemoryDb db;
        DamageReport report;
        try {
            report = JetImport::load(path, db.handle(), {}, smallLimits());
        } catch (const Error& e) {
            ADD_FAILURE() << "case " << i << " (" << cases[i].what << "): " << e.text().toStdString();
            continue;
        }
        const fx::SalvageRows served = documentRows(db);
        const fx::SalvageFigures f = fx::compareSalvaged(original, served, report.titlesInPart());
        const std::string what = "case " + std::to_string(i) + " (" + cases[i].what + ")";
        EXPECT_EQ(f.served, kInstallRows) << what;
        EXPECT_EQ(f.changedUnreported, 0) << what;
        EXPECT_EQ(f.inPartWrong, 0) << what;
        EXPECT_EQ(f.intact + f.inPart, kInstallRows) << what;
        // The report counts what it names, and what is named was damaged.
        qint64 inPart = 0;
        for (const DamageReport::Table& t : report.tables) {
            EXPECT_EQ(t.rowsLeftOut, 0) << what;
            inPart += t.rowsInPart;
        }
        EXPECT_EQ(inPart, f.inPart) << what;
        EXPECT_EQ(qsizetype(inPart), report.titlesInPart().size()) << what;
        // The same report comes back from the copy.
        const DamageReport kept = DamageReport::read(db.handle());
        EXPECT_EQ(kept.titlesInPart(), report.titlesInPart()) << what;
        EXPECT_EQ(kept.rowsAffected(), report.rowsAffected()) << what;
        if (!report.isEmpty())
            ++reported;
    }
    // Pages that memos use were hit in most cases.
    EXPECT_GE(reported, int(cases.size()) - 4);
}

// A data page of the table lost among others: its rows are left out and
// counted, the rest served whole.
TEST_F(JetDamage, LostDataPageCostsItsRowsOnly)
{
    const QString source = fx::fixture(QStringLiteral("tcm-sample/jst.mdb"));
    const QByteArray bytes = fx::readFile(source);
    const auto* b = reinterpret_cast<const uchar*>(bytes.constData());
    const int definition = 24;
    std::vector<int> dataPages;
    for (int pg = 1; pg < bytes.size() / kJet4Page; ++pg) {
        const uchar* p = b + qsizetype(pg) * kJet4Page;
        if (p[0] == 0x01 && (p[4] | p[5] << 8 | p[6] << 16 | p[7] << 24) == definition)
            dataPages.push_back(pg);
    }
    ASSERT_GT(dataPages.size(), 100u);
    const int page = dataPages[dataPages.size() / 2];
    const fx::SalvageRows original = documentRows(source);

    MemoryDb db;
    const DamageReport report =
        JetImport::load(write(withPage(bytes, page, kJet4Page, QByteArray(kJet4Page, '\0'))), db.handle(), {},
                        smallLimits());
    const fx::SalvageFigures f = fx::compareSalvaged(original, documentRows(db), report.titlesInPart());
    ASSERT_EQ(report.tables.size(), 1u);
    const DamageReport::Table& t = report.tables.front();
    EXPECT_EQ(t.name, QStringLiteral("maindata"));
    EXPECT_EQ(t.rowsCounted, qint64(original.rows.size()));
    EXPECT_GT(t.rowsLeftOut, 0);
    EXPECT_EQ(t.rowsInPart, 0);
    EXPECT_EQ(t.pagesSkipped, 1);
    EXPECT_EQ(f.served + t.rowsLeftOut, qint64(original.rows.size()));
    EXPECT_EQ(f.intact, f.served);
    const QString text = report.text(QStringLiteral("C:\\tcm\\jst.mdb"));
    EXPECT_TRUE(text.contains(QStringLiteral("C:\\tcm\\jst.mdb"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("%1 documents are affected").arg(t.rowsLeftOut))) << text.toStdString();
}

TEST_F(JetDamage, RandomBytesFailOrCopyWholeOrReported)
{
    const std::set<int> expected{ErrorCode::DatabaseDamaged, ErrorCode::UnrecognizedFormat, ErrorCode::EngineFailure};
    std::mt19937 rng(7);
    int failed = 0;
    for (int i = 0; i < 24; ++i) {
        QByteArray bytes = m_install;
        const int hits = i % 3 == 0 ? 1 : i % 3 == 1 ? 40 : 2000;
        // Half the cases aim at the first pages: catalog and definitions.
        const qsizetype span = i % 2 ? 32 * kJet4Page : bytes.size() - kJet4Page;
        for (int h = 0; h < hits; ++h)
            bytes[kJet4Page + qsizetype(rng() % quint32(span))] = char(rng() & 0xFF);
        MemoryDb db;
        const Error e = loadError(write(bytes), db);
        if (e.number() == 0) {
            // A byte in the catalog may rename the table or hide it (the query
            // then finds no table); a table that is there is whole, or what
            // it lacks is reported.
            QStringList tables = db.tables();
            const DamageReport report = DamageReport::read(db.handle());
            tables.removeIf([](const QString& t) { return t.startsWith(QLatin1String("orvanta_")); });
            ASSERT_LE(tables.size(), 1) << "case " << i << ": " << tables.join(QLatin1Char(',')).toStdString();
            if (!tables.isEmpty() && report.isEmpty()) {
                EXPECT_EQ(db.count(tables.front()), kInstallRows) << "case " << i;
            }
        } else {
            ++failed;
            EXPECT_TRUE(expected.count(e.number())) << "case " << i << ": " << e.number() << " " << e.text().toStdString();
            EXPECT_TRUE(db.tables().isEmpty()) << "case " << i;
        }
    }
    EXPECT_GT(failed, 0); // 2000 changed bytes do not pass unnoticed
}

TEST_F(JetDamage, TooLittleMemoryIsAnEngineFailure)
{
    MemoryDb db;
    JetImport::Limits limits = smallLimits();
    limits.memoryBytes = qint64(24) << 20; // not even enough to load the reader
    try {
        JetImport::load(fx::fixture(QStringLiteral("jet4-install/jst.mdb")), db.handle(), {}, limits);
        ADD_FAILURE() << "the reader cannot run in 24 MB";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), ErrorCode::EngineFailure) << e.text().toStdString();
    }
    EXPECT_TRUE(db.tables().isEmpty());
}

// Files on which libmdb loops over its catalog, writing warnings without end:
// the flood stops the reader at once instead of after the time limits.
TEST_F(JetDamage, EndlessLibraryWarningsMeanDamage)
{
    const QByteArray jet3 = fx::readFile(fx::fixture(QStringLiteral("jet3-northwind.mdb")));
    ASSERT_FALSE(jet3.isEmpty());
    for (const quint32 seed : {3004u, 3016u}) {
        // Seeded random bytes, as a batch of random mutations made them.
        std::mt19937 rng(seed);
        QByteArray bytes = jet3;
        ASSERT_EQ(rng() % 4, 3u) << seed;
        const int hits = 1 + int(rng() % 2000);
        for (int k = 0; k < hits; ++k)
            bytes[kJet3Page + qsizetype(rng() % quint32(bytes.size() - kJet3Page))] = char(rng());
        MemoryDb db;
        const Error e = loadError(write(bytes), db);
        EXPECT_EQ(e.number(), ErrorCode::DatabaseDamaged) << seed << ": " << e.text().toStdString();
        EXPECT_TRUE(db.tables().isEmpty());
    }
}
