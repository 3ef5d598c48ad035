// The database operations a search relies on, in the shape the search routine
// uses them: open a connection from a connection string, open a result set on
// it, test it for rows, close it, hand its rows to the result list.
//
// Behind it: a Jet 3/4 file is read through the Jet reader process into an
// in-memory SQLite copy that later connections reuse while the file is
// unchanged; an SQLite file is opened read-only. Statements are written in the
// Jet dialect and translated. Nothing is ever written to the data source.
#pragma once

#include "platform/sql/LikeComparison.h"
#include "platform/sql/ResultTable.h"

#include <QString>

#include <memory>

namespace Orvanta {

class Database; // one opened data source, shared by the connections to it

class Connection {
public:
    Connection();
    ~Connection();
    Connection(Connection&&) noexcept;
    Connection& operator=(Connection&&) noexcept;

    // Opens the data source named after "Data Source=" in the connection string.
    // Throws Orvanta::Error (file missing, not a database, damaged, ...).
    void open(const QString& connectionString, const QString& user = {}, const QString& password = {});
    bool isOpen() const { return bool(m_database); }
    const std::shared_ptr<Database>& database() const { return m_database; }
    // The data source as messages name it (Paths::shown).
    const QString& displayPath() const { return m_displayPath; }

    // How the result sets opened on this connection compare words: exactly
    // (the default) or with character variants folded.
    void setComparison(LikeComparison comparison) { m_comparison = comparison; }
    LikeComparison comparison() const { return m_comparison; }

private:
    std::shared_ptr<Database> m_database;
    LikeComparison m_comparison = LikeComparison::Exact;
    QString m_displayPath;
};

enum class CursorType { Unspecified = -1, Static = 3 };
enum class LockType { Unspecified = -1, Optimistic = 3 };

class Recordset {
public:
    // Runs the statement. Throws Orvanta::Error when the engine rejects it or a
    // table is missing. Opening the same statement again on the same data is cheap.
    void open(const QString& sql, Connection& connection,
              CursorType cursor = CursorType::Unspecified, LockType lock = LockType::Unspecified);
    bool isOpen() const { return bool(m_rows); }
    // True when the result set holds no row.
    bool atEnd() const;
    void close();
    // The rows in the engine's order, columns in select order, values as text.
    std::shared_ptr<const ResultTable> rows() const { return m_rows; }

private:
    std::shared_ptr<const ResultTable> m_rows;
};

} // namespace Orvanta
