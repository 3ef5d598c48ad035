// Damaged Jet files: 500 copies of the real Jet fixtures with flipped bits,
// cut ends, zeroed and swapped pages, each opened and queried through the
// engine. Every one must end in rows or an Orvanta::Error, in bounded time,
// without taking this process down and without its memory growing unbounded.
#include "platform/Error.h"
#include "platform/db/Connection.h"
#include "support/Fixtures.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <map>
#include <random>

using namespace Orvanta;

namespace {

struct Source {
    QString file;
    int pageSize;
    QString sql;
};

const std::vector<Source> kSources = {
    {QStringLiteral("jet4-install/jst.mdb"), 4096,
     QStringLiteral("select subject,htm from  maindata order by date desc")},
    {QStringLiteral("jet4-dates.mdb"), 4096, QStringLiteral("select * from DateTest")},
    {QStringLiteral("jet3-northwind.mdb"), 2048, QStringLiteral("select * from Customers")},
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
constexpr long kRssBoundKilobytes = 1536L * 1024;

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

    std::vector<QByteArray> originals;
    for (const Source& s : kSources) {
        originals.push_back(Orvanta::Test::readFile(Orvanta::Test::fixture(s.file)));
        ASSERT_GT(originals.back().size(), 4 * s.pageSize) << s.file.toStdString();
    }

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::mt19937 rng(1729);
    std::map<int, int> errorNumbers;
    int withRows = 0;
    qint64 slowestMs = 0;
    QString slowest;
    for (int i = 0; i < kMutations; ++i) {
        const size_t which = size_t(i) % kSources.size();
        const Source& source = kSources[which];
        const Damage damage = Damage(int(rng() % 5));
        const QByteArray bytes = mutate(originals[which], source.pageSize, damage, rng);
        // A new name each time, so no cached reading of an earlier copy applies.
        const QString path = dir.filePath(QStringLiteral("m%1.mdb").arg(i, 3, 10, QLatin1Char('0')));
        Orvanta::Test::writeFile(path, bytes);
        const QString what = QStringLiteral("copy %1 of %2 (%3)").arg(i).arg(source.file, QLatin1String(nameOf(damage)));

        QElapsedTimer timer;
        timer.start();
        try {
            Connection connection;
            connection.open(connectionStringFor(path));
            Recordset rs;
            rs.open(source.sql, connection, CursorType::Static, LockType::Optimistic);
            if (!rs.atEnd())
                ++withRows;
            rs.close();
        } catch (const Error& e) {
            ++errorNumbers[e.number()];
            EXPECT_FALSE(e.text().isEmpty()) << what.toStdString();
        } catch (const std::exception& e) {
            ADD_FAILURE() << what.toStdString() << ": not an Orvanta::Error: " << e.what();
        }
        const qint64 ms = timer.elapsed();
        EXPECT_LT(ms, kBoundMs) << what.toStdString();
        if (ms > slowestMs) {
            slowestMs = ms;
            slowest = what;
        }
        QFile::remove(path);
        ASSERT_LT(maxRssKilobytes(), kRssBoundKilobytes) << "after " << what.toStdString();
    }

    std::printf("[ figures  ] %d copies: %d with rows, errors", kMutations, withRows);
    for (const auto& [number, count] : errorNumbers)
        std::printf(" %d x%d", number, count);
    std::printf("; slowest %lld ms (%s); max RSS %ld MB\n", qint64(slowestMs), qPrintable(slowest),
                maxRssKilobytes() / 1024);
}
