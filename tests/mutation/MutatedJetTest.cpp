// Damaged Jet files: 500 copies of the real Jet fixtures with flipped bits,
// cut ends, zeroed and swapped pages, and one page of the real collection
// damaged at 100 places in four ways, each opened and queried through the
// engine. Every one must end in rows or an Orvanta::Error, in bounded time,
// without the reader crashing and without its memory growing unbounded. Of a
// damaged file that opens, every row served must be the original's unless
// the damage report names it, and little damage must cost few rows.
#include "platform/Error.h"
#include "platform/collection/Connection.h"
#include "platform/collection/Database.h"
#include "platform/jet/JetImport.h"
#include "platform/jet/ReaderCounters.h"
#include "support/Fixtures.h"
#include "support/SalvageCheck.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <map>
#include <cstring>
#include <random>

using namespace Orvanta;

namespace {

struct Source {
    QString file;
    int pageSize;
    QString sql;
    // Every column, the title first and the long texts last, for comparing.
    QString allColumns;
    int textColumns;
};

const std::vector<Source> kSources = {
    {QStringLiteral("jet4-install/jst.mdb"), 4096,
     QStringLiteral("select subject,htm from  maindata order by date desc"),
     QStringLiteral("select subject, htm, date, content from maindata"), 1},
    {QStringLiteral("jet4-dates.mdb"), 4096, QStringLiteral("select * from DateTest"),
     QStringLiteral("select ShortTextCol, IDCol, DateTimeCol, DateCol, TimeCol, LongTextCol from DateTest"), 1},
    {QStringLiteral("jet3-northwind.mdb"), 2048, QStringLiteral("select * from Customers"),
     QStringLiteral("select * from Customers"), 0},
};

enum class Damage { BitFlips, Truncation, ZeroedPages, SwappedPages, Mixed };

const char* nameOf(Damage d)
{
    switch (d) {
    case Damage::BitFlips: return "bit flips";
    case Damage::Truncation: return "truncation";
    case Damage::ZeroedPages: return "zeroed pages";
    case Damage::SwappedPages: return "swapped pages";
    case Damage::Mixed: return "mixed";
    }
    return "";
}

void flipBits(QByteArray& bytes, std::mt19937& rng)
{
    const int flips = 1 + int(rng() % 64);
    for (int i = 0; i < flips; ++i) {
        // Half of them in the first pages, where the header and catalog live.
        const qsizetype limit = (rng() % 2) ? std::min<qsizetype>(bytes.size(), 4 * 4096) : bytes.size();
        const qsizetype at = qsizetype(rng() % quint64(limit));
        bytes[at] = char(bytes[at] ^ (1 << (rng() % 8)));
    }
}

void truncate(QByteArray& bytes, int pageSize, std::mt19937& rng)
{
    const unsigned r = rng() % 3;
    if (r == 0)
        bytes.truncate(qsizetype(rng() % quint64(bytes.size())));
    else if (r == 1)
        bytes.truncate(qsizetype(pageSize) * qsizetype(rng() % quint64(bytes.size() / pageSize)));
    else
        bytes.truncate(bytes.size() - 1 - qsizetype(rng() % 64));
}

void zeroPages(QByteArray& bytes, int pageSize, std::mt19937& rng)
{
    const qsizetype pages = bytes.size() / pageSize;
    const int count = 1 + int(rng() % 4);
    for (int i = 0; i < count; ++i) {
        const qsizetype page = qsizetype(rng() % quint64(pages));
        std::fill(bytes.begin() + page * pageSize, bytes.begin() + (page + 1) * pageSize, '\0');
    }
}

void swapPages(QByteArray& bytes, int pageSize, std::mt19937& rng)
{
    const qsizetype pages = bytes.size() / pageSize;
    const int count = 1 + int(rng() % 3);
    for (int i = 0; i < count; ++i) {
        const qsizetype a = qsizetype(rng() % quint64(pages));
        const qsizetype b = qsizetype(rng() % quint64(pages));
        std::swap_ranges(bytes.begin() + a * pageSize, bytes.begin() + (a + 1) * pageSize,
                         bytes.begin() + b * pageSize);
    }
}

QByteArray mutate(const QByteArray& original, int pageSize, Damage damage, std::mt19937& rng)
{
    QByteArray bytes = original;
    switch (damage) {
    case Damage::BitFlips: flipBits(bytes, rng); break;
    case Damage::Truncation: truncate(bytes, pageSize, rng); break;
    case Damage::ZeroedPages: zeroPages(bytes, pageSize, rng); break;
    case Damage::SwappedPages: swapPages(bytes, pageSize, rng); break;
    case Damage::Mixed:
        swapPages(bytes, pageSize, rng);
        flipBits(bytes, rng);
        zeroPages(bytes, pageSize, rng);
        break;
    }
    return bytes;
}

QString connectionStringFor(const QString& path)
{
    const QFileInfo info(path);
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + info.absolutePath()
        + QLatin1Char('\\') + info.fileName() + QStringLiteral(";Persist Security Info=False");
}

long maxRssKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

constexpr int kMutations = 500;
constexpr qint64 kBoundMs = 5000;
// This process holds the copies; the reader holds one file's pages and values.
constexpr long kRssBoundKilobytes = 1536L * 1024;
constexpr long kReaderBoundKilobytes = 128L * 1024;

// Pages of `damaged` that differ from `original`; pages cut off count.
qsizetype damagedPages(const QByteArray& original, const QByteArray& damaged, int pageSize)
{
    const qsizetype pages = original.size() / pageSize;
    qsizetype n = 0;
    for (qsizetype p = 0; p < pages; ++p) {
        const qsizetype at = p * pageSize;
        if (at + pageSize > damaged.size()
            || std::memcmp(original.constData() + at, damaged.constData() + at, size_t(pageSize)) != 0)
            ++n;
    }
    return n;
}

// The rows of a file as they are served, with what its opening reported.
struct Served {
    Orvanta::Test::SalvageRows rows;
    QStringList titlesInPart;
    bool reported = false;
};

Served serve(const QString& path, const QString& sql, int textColumns)
{
    Connection connection;
    connection.open(connectionStringFor(path));
    Recordset rs;
    rs.open(sql, connection, CursorType::Static, LockType::Optimistic);
    Served out;
    out.rows = Orvanta::Test::rowsOf(*rs.rows(), textColumns);
    const DamageReport& report = connection.database()->damageReport();
    out.titlesInPart = report.titlesInPart();
    out.reported = !report.isEmpty();
    return out;
}

// Figures of a batch of damaged files: how they ended, and of those that
// opened, what was served of a sound file's rows.
struct Figures {
    int files = 0;
    int opened = 0;
    int reported = 0;
    std::map<int, int> errorNumbers;
    Orvanta::Test::SalvageFigures rows;     // every file
    Orvanta::Test::SalvageFigures fewPages; // files with at most 1% of their pages damaged
    int fewPagesFiles = 0;
    qint64 slowestMs = 0;
    QString slowest;

    void print(const char* what) const
    {
        std::printf("[ figures  ] %s: %d files, %d opened (%d with a damage report), errors", what, files, opened,
                    reported);
        for (const auto& [number, count] : errorNumbers)
            std::printf(" %d x%d", number, count);
        auto share = [](qint64 a, qint64 b) { return b ? 100.0 * double(a) / double(b) : 100.0; };
        std::printf("\n[ figures  ]   rows served %lld of %lld (%.2f%%); at most 1%% of pages damaged (%d files): "
                    "%lld of %lld (%.2f%%)\n",
                    qint64(rows.served), qint64(rows.original), share(rows.served, rows.original), fewPagesFiles,
                    qint64(fewPages.served), qint64(fewPages.original), share(fewPages.served, fewPages.original));
        std::printf("[ figures  ]   served rows: %lld whole, %lld reported in part, %lld reported in part but "
                    "not a beginning of the original, %lld changed and unreported; slowest %lld ms (%s)\n",
                    qint64(rows.intact), qint64(rows.inPart), qint64(rows.inPartWrong),
                    qint64(rows.changedUnreported), slowestMs, qPrintable(slowest));
    }
};

// Opens the damaged copy at `path` and adds what it served to `figures`.
void measure(const QString& path, const QString& what, const Source& source, const Orvanta::Test::SalvageRows& original,
             bool fewPages, Figures& figures)
{
    ++figures.files;
    if (fewPages)
        ++figures.fewPagesFiles;
    Orvanta::Test::SalvageFigures f;
    f.original = qint64(original.rows.size());
    // The time a user waits: the file opened and the program's statement run.
    QElapsedTimer timer;
    timer.start();
    qint64 ms = -1;
    try {
        {
            Connection connection;
            connection.open(connectionStringFor(path));
            Recordset rs;
            rs.open(source.sql, connection, CursorType::Static, LockType::Optimistic);
            rs.close();
        }
        ms = timer.elapsed();
        const Served served = serve(path, source.allColumns, source.textColumns);
        f = Orvanta::Test::compareSalvaged(original, served.rows, served.titlesInPart);
        ++figures.opened;
        if (served.reported)
            ++figures.reported;
    } catch (const Error& e) {
        ++figures.errorNumbers[e.number()];
        EXPECT_FALSE(e.text().isEmpty()) << what.toStdString();
    } catch (const std::exception& e) {
        ADD_FAILURE() << what.toStdString() << ": not an Orvanta::Error: " << e.what();
    }
    if (ms < 0)
        ms = timer.elapsed();
    EXPECT_LT(ms, kBoundMs) << what.toStdString();
    if (ms > figures.slowestMs) {
        figures.slowestMs = ms;
        figures.slowest = what;
    }
    figures.rows += f;
    if (fewPages)
        figures.fewPages += f;
    // The shared copies would keep every damaged file read so far.
    Database::dropSharedCopies();
}

// Reader crashes and timeouts since `before`, asserted to be none.
void expectNoCrashOrHang(const JetImport::ReaderCounters::Counts& before)
{
    const JetImport::ReaderCounters::Counts after = JetImport::ReaderCounters::process().counts();
    std::printf("[ figures  ] %d reader runs: %d crashed, %d stopped for time; reader peak %ld MB, this process %ld MB\n",
                after.runs - before.runs, after.crashes - before.crashes, after.timeouts - before.timeouts,
                after.peakKilobytes / 1024, maxRssKilobytes() / 1024);
    EXPECT_EQ(after.crashes - before.crashes, 0) << "a reader died on a signal";
    EXPECT_EQ(after.timeouts - before.timeouts, 0) << "a reader hung";
    EXPECT_LT(after.peakKilobytes, kReaderBoundKilobytes);
    EXPECT_LT(maxRssKilobytes(), kRssBoundKilobytes);
}

} // namespace

TEST(MutatedJetFiles, EveryCopyEndsInRowsOrAnError)
{
    if (!Orvanta::Test::requireFixtures())
        return;
    // The engine may keep converted copies in the user's cache folder: keep
    // the damaged ones out of the real one.
    QTemporaryDir cache;
    ASSERT_TRUE(cache.isValid());
    qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
    Database::setConvertedCopyFolder(QString());

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::vector<QByteArray> originals;
    std::vector<Orvanta::Test::SalvageRows> originalRows;
    for (const Source& s : kSources) {
        originals.push_back(Orvanta::Test::readFile(Orvanta::Test::fixture(s.file)));
        ASSERT_GT(originals.back().size(), 4 * s.pageSize) << s.file.toStdString();
        originalRows.push_back(serve(Orvanta::Test::fixture(s.file), s.allColumns, s.textColumns).rows);
        ASSERT_FALSE(originalRows.back().rows.empty()) << s.file.toStdString();
    }

    const JetImport::ReaderCounters::Counts before = JetImport::ReaderCounters::process().counts();
    std::mt19937 rng(1729);
    std::map<Damage, Figures> byDamage;
    Figures all;
    for (int i = 0; i < kMutations; ++i) {
        const size_t which = size_t(i) % kSources.size();
        const Source& source = kSources[which];
        const Damage damage = Damage(int(rng() % 5));
        const QByteArray bytes = mutate(originals[which], source.pageSize, damage, rng);
        // A new name each time, so no cached reading of an earlier copy applies.
        const QString path = dir.filePath(QStringLiteral("m%1.mdb").arg(i, 3, 10, QLatin1Char('0')));
        Orvanta::Test::writeFile(path, bytes);
        const QString what = QStringLiteral("copy %1 of %2 (%3)").arg(i).arg(source.file, QLatin1String(nameOf(damage)));
        const qsizetype pages = originals[which].size() / source.pageSize;
        const bool fewPages = damagedPages(originals[which], bytes, source.pageSize) * 100 <= pages;
        Figures one;
        measure(path, what, source, originalRows[which], fewPages, one);
        for (Figures* f : {&all, &byDamage[damage]}) {
            f->files += one.files;
            f->opened += one.opened;
            f->reported += one.reported;
            for (const auto& [number, count] : one.errorNumbers)
                f->errorNumbers[number] += count;
            f->rows += one.rows;
            f->fewPages += one.fewPages;
            f->fewPagesFiles += one.fewPagesFiles;
            if (one.slowestMs > f->slowestMs) {
                f->slowestMs = one.slowestMs;
                f->slowest = one.slowest;
            }
        }
        // Flipped bits inside a value are damage the file format cannot show
        // (a Jet page carries no checksum): such a value changes unreported.
        // Every other kind of damage is seen.
        if (damage != Damage::BitFlips && damage != Damage::Mixed) {
            EXPECT_EQ(one.rows.changedUnreported, 0) << what.toStdString();
            EXPECT_EQ(one.rows.inPartWrong, 0) << what.toStdString();
        }
        QFile::remove(path);
        ASSERT_LT(maxRssKilobytes(), kRssBoundKilobytes) << "after " << what.toStdString();
    }

    all.print("500 mutated copies");
    for (const auto& [damage, figures] : byDamage)
        figures.print(nameOf(damage));
    expectNoCrashOrHang(before);
}

// One page of the real collection damaged at 100 places spread over the file:
// zeroed, filled with noise, swapped with the next page, or the file cut in
// the middle of it.
class OnePageOfTheCollection : public ::testing::Test {
protected:
    static constexpr int kPageSize = 4096;
    static constexpr int kPositions = 100;

    void SetUp() override
    {
        if (!Orvanta::Test::requireFixtures())
            GTEST_SKIP();
        ASSERT_TRUE(m_cache.isValid());
        qputenv("XDG_CACHE_HOME", m_cache.path().toUtf8());
        Database::setConvertedCopyFolder(QString());
        ASSERT_TRUE(m_dir.isValid());
        m_original = Orvanta::Test::readFile(Orvanta::Test::fixture(QStringLiteral("tcm-sample/jst.mdb")));
        ASSERT_EQ(m_original.size() % kPageSize, 0);
        m_originalRows = serve(Orvanta::Test::fixture(QStringLiteral("tcm-sample/jst.mdb")), m_source.allColumns, 1).rows;
        ASSERT_GT(m_originalRows.rows.size(), 10000u);
    }

    template <typename Damage>
    void run(const char* what, Damage&& damage)
    {
        const qsizetype pages = m_original.size() / kPageSize;
        const JetImport::ReaderCounters::Counts before = JetImport::ReaderCounters::process().counts();
        std::mt19937 rng(4099);
        Figures figures;
        for (int k = 0; k < kPositions; ++k) {
            // The middle of each hundredth of the file.
            const qsizetype page = (2 * k + 1) * pages / (2 * kPositions);
            const QByteArray bytes = damage(m_original, page, rng);
            const QString path = m_dir.filePath(QStringLiteral("p%1.mdb").arg(page));
            Orvanta::Test::writeFile(path, bytes);
            const bool fewPages = damagedPages(m_original, bytes, kPageSize) * 100 <= pages;
            const QString name = QStringLiteral("%1 page %2").arg(QLatin1String(what)).arg(page);
            measure(path, name, m_source, m_originalRows, fewPages, figures);
            QFile::remove(path);
        }
        figures.print(what);
        expectNoCrashOrHang(before);
        // The goals: little damage costs little, and nothing changes unseen.
        EXPECT_EQ(figures.rows.changedUnreported, 0);
        EXPECT_EQ(figures.rows.inPartWrong, 0);
        EXPECT_GE(figures.fewPages.served * 100, figures.fewPages.original * 99);
    }

    const Source m_source{QStringLiteral("tcm-sample/jst.mdb"), kPageSize,
                          QStringLiteral("select subject,htm from  maindata order by date desc"),
                          QStringLiteral("select subject, htm, date, content from maindata"), 1};
    QTemporaryDir m_cache;
    QTemporaryDir m_dir;
    QByteArray m_original;
    Orvanta::Test::SalvageRows m_originalRows;
};

TEST_F(OnePageOfTheCollection, Zeroed)
{
    run("zeroed", [](QByteArray bytes, qsizetype page, std::mt19937&) {
        std::fill(bytes.begin() + page * kPageSize, bytes.begin() + (page + 1) * kPageSize, '\0');
        return bytes;
    });
}

TEST_F(OnePageOfTheCollection, Noise)
{
    run("noise", [](QByteArray bytes, qsizetype page, std::mt19937& rng) {
        for (qsizetype i = page * kPageSize; i < (page + 1) * kPageSize; ++i)
            bytes[i] = char(rng() & 0xFF);
        return bytes;
    });
}

TEST_F(OnePageOfTheCollection, SwappedWithTheNext)
{
    run("swapped", [](QByteArray bytes, qsizetype page, std::mt19937&) {
        std::swap_ranges(bytes.begin() + page * kPageSize, bytes.begin() + (page + 1) * kPageSize,
                         bytes.begin() + (page + 1) * kPageSize);
        return bytes;
    });
}

TEST_F(OnePageOfTheCollection, CutInside)
{
    run("cut", [](QByteArray bytes, qsizetype page, std::mt19937&) {
        bytes.truncate(page * kPageSize + kPageSize / 2);
        return bytes;
    });
}
