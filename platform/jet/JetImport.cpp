#include "platform/jet/JetImport.h"

#include "platform/Error.h"
#include "platform/Progress.h"
#include "platform/jet/DamageReport.h"
#include "platform/jet/JetProtocol.h"
#include "platform/jet/JetReaderProcess.h"
#include "platform/sql/SqliteStatement.h"
#include "platform/files/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace Orvanta::JetImport {

namespace {

using namespace JetProtocol;

constexpr char kJetSignature[] = "\0\1\0\0Standard Jet DB";
constexpr char kAceSignature[] = "\0\1\0\0Standard ACE DB";
constexpr qsizetype kSignatureSize = sizeof kJetSignature - 1;

QString quoted(QStringView path)
{
    return QStringLiteral("'%1'").arg(path);
}

// Jet's column type of short text, as the Table frame gives it.
constexpr std::uint8_t kJetTextType = 0x0A;

// The stream was not what the reader writes: a fault of ours, not of the file.
struct MalformedStream {
    const char* what;
};

QString sqliteQuoted(std::string_view name)
{
    QString n = QString::fromUtf8(name.data(), qsizetype(name.size()));
    n.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + n + QLatin1Char('"');
}

const char* declaredType(ValueType type)
{
    switch (type) {
    case ValueType::Integer:
        return "INTEGER";
    case ValueType::Real:
        return "REAL";
    case ValueType::Text:
        return "TEXT";
    case ValueType::Date:
        // Affinity NUMERIC leaves 'YYYY-MM-DD HH:MM:SS' text as it is, and the
        // name tells a reader of the schema what the column holds.
        return "DATETIME";
    case ValueType::Boolean:
        return "BOOLEAN";
    case ValueType::Blob:
        break;
    }
    return "BLOB";
}

// Turns frames into tables and rows of the SQLite database, all inside one
// savepoint that is rolled back unless the whole stream arrived.
class StreamImporter {
public:
    explicit StreamImporter(sqlite3* db) : m_db(db)
    {
        exec("SAVEPOINT orvanta_jet_import");
        m_open = true;
    }

    ~StreamImporter()
    {
        finalize();
        if (m_open) {
            sqlite3_exec(m_db, "ROLLBACK TO orvanta_jet_import", nullptr, nullptr, nullptr);
            sqlite3_exec(m_db, "RELEASE orvanta_jet_import", nullptr, nullptr, nullptr);
        }
    }

    void commit()
    {
        finalize();
        m_damage.write(m_db);
        exec("RELEASE orvanta_jet_import");
        m_open = false;
    }

    bool ended() const { return m_ended; }
    long readerPeakKilobytes() const { return m_readerPeakKilobytes; }
    const DamageReport& damage() const { return m_damage; }
    bool failed() const { return m_failed; }
    int failureNumber() const { return m_failureNumber; }
    const QString& failureText() const { return m_failureText; }

    void frame(FrameKind kind, const char* data, std::size_t size)
    {
        if (m_ended || m_failed)
            throw MalformedStream{"a frame after the end"};
        PayloadReader in(data, size);
        if (!m_started && kind != FrameKind::Start && kind != FrameKind::Failure)
            throw MalformedStream{"no start frame"};
        switch (kind) {
        case FrameKind::Start:
            if (m_started || in.u32() != kMagic)
                throw MalformedStream{"a bad start frame"};
            in.u8();  // Jet version
            in.u16(); // code page
            m_started = true;
            break;
        case FrameKind::Table:
            table(in);
            break;
        case FrameKind::Row:
            row(in);
            break;
        case FrameKind::PartialRow: {
            const unsigned count = in.u16();
            for (unsigned i = 0; i < count; ++i) {
                if (in.u16() >= m_columns)
                    throw MalformedStream{"a bad partial row"};
            }
            row(in);
            m_damage.rows.push_back({m_tableName, DamageReport::RowLoss::InPart,
                                     QString::fromUtf8(m_titleBytes.data(), qsizetype(m_titleBytes.size()))});
            break;
        }
        case FrameKind::LostRow:
            lostRow(in);
            m_damage.rows.push_back({m_tableName, DamageReport::RowLoss::LeftOut, m_title});
            break;
        case FrameKind::Losses: {
            if (!m_insert)
                throw MalformedStream{"losses outside a table"};
            DamageReport::Table t;
            t.name = m_tableName;
            t.rowsCounted = in.u32();
            t.rowsLeftOut = in.u32();
            t.rowsInPart = in.u32();
            t.pagesSkipped = in.u32();
            m_damage.tables.push_back(t);
            break;
        }
        case FrameKind::TableEnd:
            if (!m_insert || in.u32() != m_rows)
                throw MalformedStream{"a table end that does not match"};
            finalize();
            break;
        case FrameKind::Failure:
            m_failureNumber = in.u16();
            {
                const std::string_view text = in.bytes();
                m_failureText = QString::fromUtf8(text.data(), qsizetype(text.size()));
            }
            m_failed = true;
            break;
        case FrameKind::End:
            if (m_insert)
                throw MalformedStream{"the end inside a table"};
            m_readerPeakKilobytes = in.u32();
            m_ended = true;
            break;
        default:
            throw MalformedStream{"an unknown frame"};
        }
        if (!in.ok() || !in.atEnd())
            throw MalformedStream{"a frame of the wrong size"};
    }

private:
    void table(PayloadReader& in)
    {
        m_titleColumn = -1;
        if (m_insert)
            throw MalformedStream{"a table inside a table"};
        const std::string_view name = in.bytes();
        const unsigned count = in.u16();
        if (!in.ok() || name.empty() || count == 0)
            throw MalformedStream{"a bad table frame"};
        QString create = QStringLiteral("CREATE TABLE ") + sqliteQuoted(name) + QStringLiteral(" (");
        QString insert = QStringLiteral("INSERT INTO ") + sqliteQuoted(name) + QStringLiteral(" VALUES (");
        for (unsigned i = 0; i < count; ++i) {
            const std::string_view column = in.bytes();
            const auto type = ValueType(in.u8());
            const std::uint8_t jetType = in.u8();
            if (!in.ok())
                throw MalformedStream{"a bad column"};
            if (i > 0) {
                create += QLatin1String(", ");
                insert += QLatin1Char(',');
            }
            create += sqliteQuoted(column) + QLatin1Char(' ') + QLatin1String(declaredType(type));
            // A row is named in a damage report by its first short text (not
            // a memo): a document's title.
            if (jetType == kJetTextType && m_titleColumn < 0)
                m_titleColumn = int(i);
            insert += QLatin1Char('?');
        }
        create += QLatin1Char(')');
        insert += QLatin1Char(')');
        m_tableName = QString::fromUtf8(name.data(), qsizetype(name.size()));
        exec(create.toUtf8().constData());
        const QByteArray sql = insert.toUtf8();
        if (sqlite3_prepare_v2(m_db, sql.constData(), int(sql.size()), &m_insert, nullptr) != SQLITE_OK)
            sqliteFailed();
        m_columns = count;
        m_rows = 0;
    }

    // The values of a row that is left out: only its title is kept.
    void lostRow(PayloadReader& in)
    {
        if (!m_insert)
            throw MalformedStream{"a row outside a table"};
        m_title.clear();
        for (int i = 0; i < m_columns; ++i) {
            const auto tag = ValueTag(in.u8());
            switch (tag) {
            case ValueTag::Null:
                break;
            case ValueTag::Integer:
            case ValueTag::Real:
                in.u64();
                break;
            case ValueTag::Text: {
                const std::string_view text = in.bytes();
                if (i == m_titleColumn)
                    m_title = QString::fromUtf8(text.data(), qsizetype(text.size()));
                break;
            }
            case ValueTag::Blob:
                in.bytes();
                break;
            default:
                throw MalformedStream{"an unknown value"};
            }
        }
    }

    void row(PayloadReader& in)
    {
        if (!m_insert)
            throw MalformedStream{"a row outside a table"};
        m_titleBytes = {};
        for (int i = 1; i <= m_columns; ++i) {
            int rc = SQLITE_OK;
            switch (ValueTag(in.u8())) {
            case ValueTag::Null:
                rc = sqlite3_bind_null(m_insert, i);
                break;
            case ValueTag::Integer:
                rc = sqlite3_bind_int64(m_insert, i, sqlite3_int64(in.u64()));
                break;
            case ValueTag::Real:
                rc = sqlite3_bind_double(m_insert, i, in.f64());
                break;
            case ValueTag::Text: {
                const std::string_view text = in.bytes();
                if (i - 1 == m_titleColumn)
                    m_titleBytes = text;
                // The frame stays put until the row is stepped and unbound.
                rc = sqlite3_bind_text64(m_insert, i, text.data(), text.size(), SQLITE_STATIC, SQLITE_UTF8);
                break;
            }
            case ValueTag::Blob: {
                const std::string_view blob = in.bytes();
                rc = sqlite3_bind_blob64(m_insert, i, blob.data(), blob.size(), SQLITE_STATIC);
                break;
            }
            default:
                throw MalformedStream{"an unknown value"};
            }
            if (!in.ok())
                throw MalformedStream{"a short row"};
            if (rc != SQLITE_OK)
                sqliteFailed();
        }
        if (sqlite3_step(m_insert) != SQLITE_DONE)
            sqliteFailed();
        sqlite3_reset(m_insert);
        sqlite3_clear_bindings(m_insert);
        ++m_rows;
    }

    void exec(const char* sql)
    {
        if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
            sqliteFailed();
    }

    [[noreturn]] void sqliteFailed()
    {
        const QString text =
            QStringLiteral("Copying the database failed: %1").arg(QString::fromUtf8(sqlite3_errmsg(m_db)));
        // Writing the copy failed, not reading the Jet file: the caller may
        // copy it elsewhere.
        throw Error(Sqlite::errorNumberFor(sqlite3_errcode(m_db)), text);
    }

    void finalize()
    {
        if (m_insert)
            sqlite3_finalize(m_insert);
        m_insert = nullptr;
    }

    sqlite3* m_db;
    sqlite3_stmt* m_insert = nullptr;
    int m_columns = 0;
    std::uint32_t m_rows = 0;
    QString m_tableName;
    int m_titleColumn = -1;
    QString m_title;
    std::string_view m_titleBytes; // inside the frame being read
    DamageReport m_damage;
    long m_readerPeakKilobytes = 0;
    bool m_open = false;
    bool m_started = false;
    bool m_ended = false;
    bool m_failed = false;
    int m_failureNumber = 0;
    QString m_failureText;
};

// Reads the stream in large blocks and hands each whole frame on.
class FrameBuffer {
public:
    FrameBuffer() : m_data(kBlock * 2) {}

    template <typename Sink>
    bool feed(JetReaderProcess& process, Sink&& sink)
    {
        if (m_data.size() - m_end < kBlock) {
            // Move the unfinished frame to the front, or grow for a big one.
            std::memmove(m_data.data(), m_data.data() + m_begin, m_end - m_begin);
            m_end -= m_begin;
            m_begin = 0;
            if (m_data.size() - m_end < kBlock)
                m_data.resize(m_data.size() * 2);
        }
        const qint64 n = process.read(m_data.data() + m_end, qint64(m_data.size() - m_end));
        if (n <= 0)
            return false;
        m_end += std::size_t(n);

        while (m_end - m_begin >= kFrameHeaderSize) {
            PayloadReader header(m_data.data() + m_begin, kFrameHeaderSize);
            const std::uint32_t length = header.u32();
            const auto kind = FrameKind(header.u8());
            if (length > kMaxPayload)
                throw MalformedStream{"a frame of impossible size"};
            if (m_end - m_begin < kFrameHeaderSize + length) {
                if (m_data.size() < kFrameHeaderSize + length + kBlock)
                    m_data.resize(kFrameHeaderSize + length + kBlock);
                break;
            }
            sink(kind, m_data.data() + m_begin + kFrameHeaderSize, std::size_t(length));
            m_begin += kFrameHeaderSize + length;
        }
        if (m_begin == m_end)
            m_begin = m_end = 0;
        return true;
    }

    bool empty() const { return m_begin == m_end; }

private:
    static constexpr std::size_t kBlock = std::size_t(1) << 20;
    std::vector<char> m_data;
    std::size_t m_begin = 0;
    std::size_t m_end = 0;
};

QString damagedText(const QString& path)
{
    return QStringLiteral("Cannot open database %1. It may not be a database that your application "
                          "recognizes, or the file may be corrupt.")
        .arg(quoted(path));
}

// The first line of what the reader said, for the error text.
QString readerSaid(const QByteArray& errorText)
{
    QString text;
    for (const QByteArray& line : errorText.split('\n')) {
        text = QString::fromLocal8Bit(line).simplified();
        if (!text.isEmpty())
            break;
    }
    if (text.isEmpty())
        return {};
    if (text.size() > 200)
        text = text.left(200) + QStringLiteral("...");
    return QStringLiteral(" (") + text + QLatin1Char(')');
}

Error failureFromReader(int number, const QString& detail, const QString& path)
{
    switch (number) {
    case ErrorCode::DatabaseFileNotFound:
        return Error(number, QStringLiteral("Could not find file %1.").arg(quoted(path)));
    case ErrorCode::UnrecognizedFormat:
        return Error(number, QStringLiteral("Unrecognized database format %1.").arg(quoted(path)));
    case ErrorCode::DatabaseDamaged:
        return Error(number, damagedText(path) + QStringLiteral(" (") + detail + QLatin1Char(')'));
    case ErrorCode::OutOfMemory:
        return Error(ErrorCode::EngineFailure,
                     QStringLiteral("Reading the database %1 ran out of memory.").arg(quoted(path)));
    default:
        return Error(ErrorCode::EngineFailure,
                     QStringLiteral("Reading the database %1 failed: %2").arg(quoted(path), detail));
    }
}

std::atomic<int> g_runs{0};
std::atomic<int> g_crashes{0};
std::atomic<int> g_timeouts{0};
std::atomic<long> g_peakKilobytes{0};

// A reader that died on a signal its limits did not send crashed.
bool crashed(const JetReaderProcess::Outcome& outcome)
{
    return outcome.kind == JetReaderProcess::Outcome::Signaled && outcome.code != SIGXCPU
        && outcome.code != SIGKILL && !outcome.errorText.contains("alloc");
}

// Reaps the reader and counts how it ended.
JetReaderProcess::Outcome finished(JetReaderProcess& process)
{
    const JetReaderProcess::Outcome outcome = process.finish();
    ++g_runs;
    if (crashed(outcome))
        ++g_crashes;
    if (outcome.kind == JetReaderProcess::Outcome::TimedOut)
        ++g_timeouts;
    return outcome;
}

Error failureFromOutcome(const JetReaderProcess::Outcome& outcome, const Limits& limits, const QString& path)
{
    const QString said = readerSaid(outcome.errorText);
    switch (outcome.kind) {
    case JetReaderProcess::Outcome::TimedOut:
        return Error(ErrorCode::EngineFailure,
                     QStringLiteral("Reading the database %1 took longer than %2 seconds and was stopped.")
                         .arg(quoted(path))
                         .arg(limits.wallSeconds));
    case JetReaderProcess::Outcome::Flooded:
        return Error(ErrorCode::DatabaseDamaged,
                     damagedText(path) + QStringLiteral(" (The reader reported problems without end.)") + said);
    case JetReaderProcess::Outcome::Signaled:
        if (outcome.code == SIGXCPU || outcome.code == SIGKILL)
            return Error(ErrorCode::EngineFailure,
                         QStringLiteral("Reading the database %1 used more than %2 seconds of processor time and "
                                        "was stopped.")
                             .arg(quoted(path))
                             .arg(limits.cpuSeconds));
        if (!crashed(outcome))
            return Error(ErrorCode::EngineFailure,
                         QStringLiteral("Reading the database %1 needed more than %2 MB of memory and was stopped.")
                             .arg(quoted(path))
                             .arg(limits.memoryBytes >> 20));
        // A reader that crashes on a file has met a damaged one.
        return Error(ErrorCode::DatabaseDamaged,
                     damagedText(path) + QStringLiteral(" (The reader stopped on signal %1.)").arg(outcome.code)
                         + said);
    case JetReaderProcess::Outcome::Exited:
        break;
    }
    if (outcome.code == 127)
        return Error(ErrorCode::EngineFailure,
                     QStringLiteral("The Jet reader could not be started for %1.").arg(quoted(path)) + said);
    return Error(ErrorCode::EngineFailure,
                 QStringLiteral("The Jet reader failed on %1 with exit code %2.").arg(quoted(path)).arg(outcome.code)
                     + said);
}

} // namespace

bool looksLikeJet(QByteArrayView header)
{
    if (header.size() < kSignatureSize)
        return false;
    const QByteArrayView start = header.first(kSignatureSize);
    return start == QByteArrayView(kJetSignature, kSignatureSize)
        || start == QByteArrayView(kAceSignature, kSignatureSize);
}

ReaderStatistics readerStatistics()
{
    return {g_runs.load(), g_crashes.load(), g_timeouts.load(), g_peakKilobytes.load()};
}

QString readerPath()
{
    // Beside the programs in a laid-out install folder; in an installed
    // package, in the helpers' folder the build was configured with, found
    // relative to the program first so that a moved tree still works.
    const QString name = QStringLiteral("orvanta-jet-reader");
    const QString program = Paths::programFolder();
    QStringList candidates{program + QLatin1Char('/') + name,
                           program + QStringLiteral("/../libexec/orvanta/") + name};
#ifdef ORVANTA_HELPER_DIR
    candidates << QStringLiteral(ORVANTA_HELPER_DIR "/") + name;
#endif
    for (const QString& path : std::as_const(candidates)) {
        if (QFileInfo(path).isExecutable())
            return QDir::cleanPath(path);
    }
    return candidates.front();
}

DamageReport load(const QString& localPath, sqlite3* db, const QStringList& tables, const Limits& limits)
{
    const QFileInfo info(localPath);
    if (!info.exists() || !info.isFile())
        throw Error(ErrorCode::DatabaseFileNotFound, QStringLiteral("Could not find file %1.").arg(quoted(localPath)));
    {
        QFile file(localPath);
        if (!file.open(QIODevice::ReadOnly))
            throw Error(ErrorCode::PermissionDenied,
                        QStringLiteral("Permission denied: cannot read %1.").arg(quoted(localPath)));
        if (!looksLikeJet(file.read(64)))
            throw Error(ErrorCode::UnrecognizedFormat,
                        QStringLiteral("Unrecognized database format %1.").arg(quoted(localPath)));
    }

    QStringList arguments{info.absoluteFilePath()};
    arguments += tables;
    JetReaderProcess process(readerPath(), arguments, limits);
    StreamImporter importer(db);
    FrameBuffer buffer;

    try {
        while (buffer.feed(process, [&](FrameKind kind, const char* data, std::size_t size) {
            importer.frame(kind, data, size);
        })) {
            Progress::tick();
        }
    } catch (const MalformedStream& m) {
        process.kill();
        finished(process);
        throw Error(ErrorCode::EngineFailure,
                    QStringLiteral("The Jet reader sent a malformed stream for %1 (%2).")
                        .arg(quoted(localPath), QLatin1String(m.what)));
    } catch (...) {
        process.kill();
        finished(process);
        throw;
    }

    const JetReaderProcess::Outcome outcome = finished(process);
    if (importer.failed())
        throw failureFromReader(importer.failureNumber(), importer.failureText(), localPath);
    if (outcome.kind != JetReaderProcess::Outcome::Exited || outcome.code != 0)
        throw failureFromOutcome(outcome, limits, localPath);
    if (!importer.ended() || !buffer.empty())
        throw Error(ErrorCode::EngineFailure,
                    QStringLiteral("The Jet reader sent an incomplete stream for %1.").arg(quoted(localPath)));
    importer.commit();
    long peak = g_peakKilobytes.load();
    const long reader = importer.readerPeakKilobytes();
    while (reader > peak && !g_peakKilobytes.compare_exchange_weak(peak, reader)) {
    }
    return importer.damage();
}

} // namespace Orvanta::JetImport
