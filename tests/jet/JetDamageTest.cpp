// Damaged, cut and foreign files: every one ends in an Orvanta::Error (or, for
// a byte that hits nothing the copy reads, in a complete copy), never in a
// crash or hang of the program. The mutations are seeded, so every run sees
// the same files.
#include "jet/JetTestSupport.h"
#include "support/Fixtures.h"

#include "platform/Error.h"
#include "platform/db/JetImport.h"

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

TEST_F(JetDamage, CutFilesFail)
{
    const qsizetype size = m_install.size();
    const qsizetype cuts[] = {40, 100, kJet4Page, 2 * kJet4Page, 3 * kJet4Page + 17, size / 2,
                              size - kJet4Page, size - 100, size - 1};
    for (qsizetype cut : cuts) {
        MemoryDb db;
        const Error e = loadError(write(m_install.left(cut)), db);
        EXPECT_TRUE(e.number() == ErrorCode::DatabaseDamaged || e.number() == ErrorCode::UnrecognizedFormat)
            << "cut at " << cut << ": " << e.number() << " " << e.text().toStdString();
        EXPECT_TRUE(db.tables().isEmpty()) << "cut at " << cut;
    }

    // The same for a Jet 3 file with its smaller pages.
    const QByteArray jet3 = fx::readFile(fx::fixture(QStringLiteral("jet3-northwind.mdb")));
    for (qsizetype cut : {qsizetype(kJet3Page) * 3, jet3.size() / 3, jet3.size() - 7}) {
        MemoryDb db;
        const Error e = loadError(write(jet3.left(cut)), db);
        EXPECT_EQ(e.number(), ErrorCode::DatabaseDamaged) << "cut at " << cut << ": " << e.text().toStdString();
        EXPECT_TRUE(db.tables().isEmpty());
    }
}

TEST_F(JetDamage, ZeroedPagesFail)
{
    // The catalog, the table's definition, its data page, long-value pages.
    const std::size_t lv = m_longValuePages.size();
    const int pages[] = {2, m_definition, m_dataPage, m_longValuePages[lv / 4], m_longValuePages[lv / 2],
                         m_longValuePages[lv - 1]};
    for (int page : pages) {
        MemoryDb db;
        const Error e = loadError(write(withPage(m_install, page, kJet4Page, QByteArray(kJet4Page, '\0'))), db);
        EXPECT_EQ(e.number(), ErrorCode::DatabaseDamaged) << "page " << page << ": " << e.text().toStdString();
        EXPECT_TRUE(db.tables().isEmpty());
    }
}

TEST_F(JetDamage, RandomPagesFail)
{
    std::mt19937 rng(20261210);
    for (int i = 0; i < 6; ++i) {
        const int page = i == 0 ? 2 : i == 1 ? m_definition : i == 2 ? m_dataPage
                                                                   : m_longValuePages[rng() % m_longValuePages.size()];
        MemoryDb db;
        const Error e = loadError(write(withPage(m_install, page, kJet4Page, randomBytes(rng, kJet4Page))), db);
        EXPECT_EQ(e.number(), ErrorCode::DatabaseDamaged) << "page " << page << ": " << e.text().toStdString();
        EXPECT_TRUE(db.tables().isEmpty());
    }
}

TEST_F(JetDamage, RandomBytesFailOrCopyWhole)
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
            // then finds no table); a table that is there is whole.
            const QStringList tables = db.tables();
            ASSERT_LE(tables.size(), 1) << "case " << i;
            if (!tables.isEmpty()) {
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
