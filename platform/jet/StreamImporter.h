// The client side of the Jet reader's stream: the frames it sends (see
// JetProtocol.h) become tables and rows of an SQLite database, with what a
// damaged file lost written beside them (DamageReport.h). Apart from the
// process that sends them (JetReaderProcess.h) and the loop that reads them
// (JetImport.cpp), so that the import of frames can be read on its own.
#pragma once

#include "platform/jet/DamageReport.h"
#include "platform/jet/JetProtocol.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace Orvanta::JetImport {

// The stream was not what the reader writes: a fault of ours, not of the file.
struct MalformedStream {
    const char* what;
};

// Turns frames into tables and rows of the SQLite database, all inside one
// savepoint that is rolled back unless the whole stream arrived.
class StreamImporter {
public:
    explicit StreamImporter(sqlite3* db);

    ~StreamImporter();
    StreamImporter(const StreamImporter&) = delete;
    StreamImporter& operator=(const StreamImporter&) = delete;

    void commit();

    bool ended() const { return m_ended; }
    long readerPeakKilobytes() const { return m_readerPeakKilobytes; }
    const DamageReport& damage() const { return m_damage; }
    bool failed() const { return m_failed; }
    int failureNumber() const { return m_failureNumber; }
    const QString& failureText() const { return m_failureText; }

    void frame(JetProtocol::FrameKind kind, const char* data, std::size_t size);

private:
    void table(JetProtocol::PayloadReader& in);

    // The values of a row that is left out: only its title is kept.
    void lostRow(JetProtocol::PayloadReader& in);

    void row(JetProtocol::PayloadReader& in);

    void exec(const char* sql);

    [[noreturn]] void sqliteFailed();

    void finalize();

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

} // namespace Orvanta::JetImport
