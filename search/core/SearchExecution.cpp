#include "search/core/SearchExecution.h"

#include "platform/collection/Connection.h"
#include "platform/collection/Database.h"
#include "search/core/DamageWarning.h"

namespace Orvanta {

std::shared_ptr<const ResultTable> executeSearch(const QString& connectionString, const QString& sql,
                                                 QString* damageWarning, LikeComparison comparison,
                                                 bool windowsVoice)
{
    Connection connection;
    connection.open(connectionString, QString(), QString());
    connection.setComparison(comparison);
    if (damageWarning) {
        *damageWarning = connection.database()->takeDamageWarning();
        if (windowsVoice)
            *damageWarning = warningInTheWindowsVoice(*damageWarning, connection.database()->damageReport(),
                                                      connection.displayPath());
    }

    Recordset records;
    records.open(sql, connection, CursorType::Static, LockType::Optimistic);
    const bool empty = records.atEnd();
    records.close();
    if (empty)
        return nullptr;

    // The rows that are bound come from a second run of the statement, opened
    // with the engine's own cursor and lock kinds.
    records.open(sql, connection);
    return records.rows();
}

qint64 visitSearch(const QString& connectionString, const QString& sql, QString* damageWarning,
                   TitleStore::RowVisitor& visitor, LikeComparison comparison)
{
    Connection connection;
    connection.open(connectionString, QString(), QString());
    if (damageWarning)
        *damageWarning = connection.database()->takeDamageWarning();
    return connection.database()->visitIndexed(sql, visitor, comparison);
}

QString emptyResultMessage(const QString& escapedQuery)
{
    // U+3000 after "搜尋" and before "資料"; the other spaces are U+0020.
    return QStringLiteral(" 全文檢索搜尋\u3000[ ") + escapedQuery + QStringLiteral(" ]\u3000資料不存在");
}

qsizetype mod1Position(const ResultTable& rows, const QString& escapedQuery)
{
    // The list counts its header as row 0, so result row i sits at index i - 1
    // of the table, and "row count - 2" of the list is rowCount() - 1 here.
    // The bound is a qsizetype, not a 16-bit integer: a collection of 140,000
    // documents lists more than 32,768 rows, and the scan must still end on a
    // real row instead of overflowing.
    const qsizetype last = rows.rowCount() - 1;
    qsizetype i = 1;
    for (; i <= last; ++i) {
        if (QStringView(rows.cell(i - 1, 0)).compare(escapedQuery, Qt::CaseSensitive) >= 0)
            return i;
    }
    return last < 1 ? 1 : i;
}

} // namespace Orvanta
