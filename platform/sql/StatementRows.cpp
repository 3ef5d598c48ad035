#include "platform/sql/StatementRows.h"

#include <sqlite3.h>

namespace Orvanta {

QStringList columnNamesOf(sqlite3_stmt* statement)
{
    QStringList names;
    const int columns = sqlite3_column_count(statement);
    for (int c = 0; c < columns; ++c) {
        const void* name = sqlite3_column_name16(statement, c);
        names << (name ? QString::fromUtf16(static_cast<const char16_t*>(name)) : QString());
    }
    return names;
}

void appendCurrentRow(ResultTable& table, sqlite3_stmt* statement, int columns)
{
    for (int c = 0; c < columns; ++c) {
        if (sqlite3_column_type(statement, c) == SQLITE_NULL) {
            table.appendCell({}, true);
            continue;
        }
        const auto* text = static_cast<const QChar*>(sqlite3_column_text16(statement, c));
        const int bytes = sqlite3_column_bytes16(statement, c);
        table.appendCell(QStringView(text, bytes / 2));
    }
}

} // namespace Orvanta
