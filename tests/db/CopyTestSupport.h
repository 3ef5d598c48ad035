// What the tests of converted copies share: the cells a search gives through
// the Connection API, and the copies in a cache folder.
#pragma once

#include "platform/collection/Connection.h"

#include <QDir>
#include <QStringList>

namespace Orvanta::DbTest {

// Every cell of the result, row by row, tab between cells.
inline QStringList resultCells(const QString& connectionString, const QString& sql)
{
    Connection connection;
    connection.open(connectionString);
    Recordset rs;
    rs.open(sql, connection);
    QStringList out;
    const auto rows = rs.rows();
    for (qsizetype r = 0; r < rows->rowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < rows->columnCount(); ++c)
            row << rows->cellText(r, c);
        out << row.join(QLatin1Char('\t'));
    }
    return out;
}

inline QStringList copiesIn(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral("*.sqlite")}, QDir::Files);
}

inline QStringList temporariesIn(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral(".*.tmp")}, QDir::Files | QDir::Hidden);
}

} // namespace Orvanta::DbTest
