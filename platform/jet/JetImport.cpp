#include "platform/jet/JetImport.h"

#include "platform/Error.h"
#include "platform/Progress.h"
#include "platform/jet/DamageReport.h"
#include "platform/jet/JetProtocol.h"
#include "platform/jet/JetReaderProcess.h"
#include "platform/jet/ReaderCounters.h"
#include "platform/jet/StreamImporter.h"
#include "platform/sql/SqliteStatement.h"
#include "platform/files/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

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
    ReaderCounters::process().countRun(crashed(outcome), outcome.kind == JetReaderProcess::Outcome::TimedOut);
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
    ReaderCounters::process().notePeak(importer.readerPeakKilobytes());
    return importer.damage();
}

} // namespace Orvanta::JetImport
