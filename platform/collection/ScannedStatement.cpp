#include "platform/collection/ScannedStatement.h"

#include "platform/Error.h"
#include "platform/Progress.h"
#include "platform/collection/EngineErrors.h"
#include "platform/sql/SqlDialect.h"
#include "platform/sql/StatementRows.h"

#include <sqlite3.h>

namespace Orvanta::ScannedStatement {

namespace {

struct StatementDeleter {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

} // namespace

std::shared_ptr<const ResultTable> run(sqlite3* db, const QString& jetSql, const QString& displayPath)
{
    SqlDialect::Options options;
    Statement statement;
    QString sql;
    for (int attempt = 0;; ++attempt) {
        sql = SqlDialect::toSqlite(jetSql, options);
        sqlite3_stmt* raw = nullptr;
        const void* tail = nullptr;
        const int rc = sqlite3_prepare16_v3(db, sql.utf16(), int(sql.size() * 2), 0, &raw, &tail);
        statement.reset(raw);
        if (rc == SQLITE_OK) {
            const qsizetype used = (static_cast<const char16_t*>(tail) - reinterpret_cast<const char16_t*>(sql.utf16()));
            const QString rest = sql.mid(used).trimmed();
            for (QChar c : rest) {
                if (c != QLatin1Char(';') && !c.isSpace())
                    throw Error(ErrorCode::StatementRejected,
                                QStringLiteral("Characters found after end of SQL statement."));
            }
            break;
        }
        const QString message = EngineErrors::lastMessage(db);
        // Views and tables without rowid order ties without it.
        if (attempt == 0 && options.rowidTies && message.contains(QLatin1String("rowid"))) {
            options.rowidTies = false;
            continue;
        }
        throw EngineErrors::errorFor(sqlite3_extended_errcode(db), message, displayPath);
    }
    if (!statement) {
        throw Error(ErrorCode::StatementRejected,
                    QStringLiteral("Invalid SQL statement; expected 'SELECT'."));
    }
    if (!sqlite3_stmt_readonly(statement.get())) {
        throw Error(ErrorCode::StatementRejected,
                    QStringLiteral("The database is open read-only: only SELECT statements can run."));
    }

    sqlite3_stmt* st = statement.get();
    const int columns = sqlite3_column_count(st);
    auto table = std::make_shared<ResultTable>(columnNamesOf(st));
    // A search that reads many rows reports that it is still going.
    sqlite3_progress_handler(sqlite3_db_handle(st), 20000, [](void*) { Progress::tick(); return 0; }, nullptr);
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW)
        appendCurrentRow(*table, st, columns);
    if (rc != SQLITE_DONE)
        throw EngineErrors::errorFor(sqlite3_extended_errcode(db), EngineErrors::lastMessage(db), displayPath);
    return table;
}

} // namespace Orvanta::ScannedStatement
