// The one error type of the system: a number and a text, as the run-time error
// message shows them ("Run-time error 'N':" and the text).
#pragma once

#include <QString>
#include <stdexcept>

namespace Orvanta {

// Numbers follow the classic run-time and database-engine numbering, so that a
// user who knows the old messages recognises them.
namespace ErrorCode {
constexpr int InvalidProcedureCall = 5;
constexpr int Overflow = 6;
constexpr int OutOfMemory = 7;
constexpr int FileNotFound = 53;
constexpr int FileAlreadyOpen = 55;
constexpr int DiskFull = 61;
constexpr int PermissionDenied = 70;
constexpr int DiskNotReady = 71;
constexpr int PathFileAccessError = 75;
constexpr int PathNotFound = 76;
constexpr int InvalidPicture = 481;
// Database engine
constexpr int DatabaseFileNotFound = 3024;    // Could not find file '...'.
constexpr int DatabaseDamaged = 3049;         // Cannot open database ... may be corrupt.
constexpr int TableNotFound = 3078;           // cannot find the input table or query
constexpr int StatementRejected = 3075;       // Syntax error ... in query expression
constexpr int UnrecognizedFormat = 3343;      // Unrecognized database format '...'.
constexpr int EngineFailure = 3146;           // the reader failed (resources, crash, time)
constexpr int ConnectionString = 3706;        // Provider cannot be found / bad string
} // namespace ErrorCode

class Error : public std::runtime_error {
public:
    Error(int number, const QString& text)
        : std::runtime_error(text.toStdString()), m_number(number), m_text(text) {}

    int number() const noexcept { return m_number; }
    const QString& text() const noexcept { return m_text; }

private:
    int m_number;
    QString m_text;
};

} // namespace Orvanta
