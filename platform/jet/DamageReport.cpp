#include "platform/jet/DamageReport.h"

#include "platform/Error.h"
#include "platform/sql/SqliteStatement.h"

#include <sqlite3.h>

#include <algorithm>
#include <memory>

namespace Orvanta {

namespace {

const char* const kTablesSql = "CREATE TABLE orvanta_damage(table_name TEXT, rows_counted INTEGER, "
                               "rows_left_out INTEGER, rows_in_part INTEGER, pages_skipped INTEGER)";
const char* const kRowsSql = "CREATE TABLE orvanta_damaged_rows(table_name TEXT, in_part INTEGER, title TEXT)";

using Sqlite::Statement;

[[noreturn]] void writeFailed(sqlite3* db)
{
    throw Error(ErrorCode::EngineFailure,
                QStringLiteral("Copying the database failed: %1").arg(QString::fromUtf8(sqlite3_errmsg(db))));
}

void bindText(sqlite3_stmt* st, int at, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(st, at, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

QString columnText(sqlite3_stmt* st, int at)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, at));
    return text ? QString::fromUtf8(text, sqlite3_column_bytes(st, at)) : QString();
}

QString documents(qint64 n)
{
    return n == 1 ? QStringLiteral("1 document") : QStringLiteral("%1 documents").arg(n);
}

} // namespace

qint64 DamageReport::rowsAffected() const
{
    qint64 n = 0;
    for (const Table& t : tables)
        n += t.rowsLeftOut + t.rowsInPart;
    return n;
}

QStringList DamageReport::titlesInPart() const
{
    QStringList titles;
    for (const Row& r : rows) {
        if (r.loss == RowLoss::InPart)
            titles << r.title;
    }
    return titles;
}

QString DamageReport::text(const QString& displayPath, int titleCap) const
{
    qint64 leftOut = 0, inPart = 0, pages = 0;
    for (const Table& t : tables) {
        leftOut += t.rowsLeftOut;
        inPart += t.rowsInPart;
        pages += t.pagesSkipped;
    }
    QString text = QStringLiteral("The database '%1' is damaged and was opened with what could be read.")
                       .arg(displayPath);
    if (leftOut + inPart == 0) {
        text += QStringLiteral(" %1 damaged %2 skipped; no document was lost.")
                    .arg(pages)
                    .arg(pages == 1 ? QStringLiteral("page was") : QStringLiteral("pages were"));
        return text;
    }
    text += QLatin1Char(' ') + documents(leftOut + inPart)
        + (leftOut + inPart == 1 ? QStringLiteral(" is affected:") : QStringLiteral(" are affected:"));
    if (leftOut)
        text += QStringLiteral(" %1 could not be read and %2 left out of every search")
                    .arg(leftOut == 1 ? QStringLiteral("1") : QString::number(leftOut),
                         leftOut == 1 ? QStringLiteral("is") : QStringLiteral("are"));
    if (leftOut && inPart)
        text += QLatin1Char(';');
    if (inPart)
        text += QStringLiteral(" %1 searched only in the part of %2 text that could be read")
                    .arg(inPart == 1 ? QStringLiteral("1 is") : QStringLiteral("%1 are").arg(inPart),
                         inPart == 1 ? QStringLiteral("its") : QStringLiteral("their"));
    text += QLatin1Char('.');

    QStringList named;
    for (const Row& r : rows) {
        if (!r.title.isEmpty())
            named << r.title;
    }
    if (!named.isEmpty()) {
        const qsizetype shown = std::min<qsizetype>(named.size(), titleCap);
        text += QStringLiteral(" They include: ") + named.mid(0, shown).join(QStringLiteral(", "));
        if (named.size() > shown)
            text += QStringLiteral(" and %1 more").arg(named.size() - shown);
        text += QLatin1Char('.');
    }
    return text;
}

void DamageReport::write(sqlite3* db) const
{
    if (isEmpty())
        return;
    if (sqlite3_exec(db, kTablesSql, nullptr, nullptr, nullptr) != SQLITE_OK
        || sqlite3_exec(db, kRowsSql, nullptr, nullptr, nullptr) != SQLITE_OK)
        writeFailed(db);
    Statement table = Sqlite::tryPrepare(db, "INSERT INTO orvanta_damage VALUES(?,?,?,?,?)");
    Statement row = Sqlite::tryPrepare(db, "INSERT INTO orvanta_damaged_rows VALUES(?,?,?)");
    if (!table || !row)
        writeFailed(db);
    for (const Table& t : tables) {
        bindText(table.get(), 1, t.name);
        sqlite3_bind_int64(table.get(), 2, t.rowsCounted);
        sqlite3_bind_int64(table.get(), 3, t.rowsLeftOut);
        sqlite3_bind_int64(table.get(), 4, t.rowsInPart);
        sqlite3_bind_int64(table.get(), 5, t.pagesSkipped);
        if (sqlite3_step(table.get()) != SQLITE_DONE)
            writeFailed(db);
        sqlite3_reset(table.get());
    }
    for (const Row& r : rows) {
        bindText(row.get(), 1, r.table);
        sqlite3_bind_int(row.get(), 2, r.loss == RowLoss::InPart ? 1 : 0);
        bindText(row.get(), 3, r.title);
        if (sqlite3_step(row.get()) != SQLITE_DONE)
            writeFailed(db);
        sqlite3_reset(row.get());
    }
}

DamageReport DamageReport::read(sqlite3* db)
{
    DamageReport report;
    Statement tables = Sqlite::tryPrepare(db, "SELECT table_name, rows_counted, rows_left_out, rows_in_part, pages_skipped "
                                   "FROM orvanta_damage ORDER BY rowid");
    if (!tables)
        return report; // an undamaged copy has no report
    while (sqlite3_step(tables.get()) == SQLITE_ROW) {
        report.tables.push_back(Table{columnText(tables.get(), 0), sqlite3_column_int64(tables.get(), 1),
                                      sqlite3_column_int64(tables.get(), 2), sqlite3_column_int64(tables.get(), 3),
                                      sqlite3_column_int64(tables.get(), 4)});
    }
    Statement rows = Sqlite::tryPrepare(db, "SELECT table_name, in_part, title FROM orvanta_damaged_rows ORDER BY rowid");
    while (rows && sqlite3_step(rows.get()) == SQLITE_ROW) {
        report.rows.push_back(Row{columnText(rows.get(), 0),
                                  sqlite3_column_int(rows.get(), 1) ? RowLoss::InPart : RowLoss::LeftOut,
                                  columnText(rows.get(), 2)});
    }
    return report;
}

} // namespace Orvanta
