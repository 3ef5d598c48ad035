// What could not be read of a damaged Jet file that was opened all the same.
//
// The Jet reader serves every row it can read; a row whose long value (the
// searchable text of a document) can be read only in part is served with that
// part, and a row of which anything else is unreadable is left out. The
// report says how many rows each table lost and names the rows by their title
// where it could be read. It is kept inside the copy of the file, so that a
// copy restored at the next start reports the same losses; an undamaged copy
// holds none of it.
#pragma once

#include <QString>
#include <QStringList>

#include <vector>

struct sqlite3;

namespace Orvanta {

struct DamageReport {
    struct Table {
        QString name;
        qint64 rowsCounted = 0;   // rows the table definition counts
        qint64 rowsLeftOut = 0;   // rows not served at all
        qint64 rowsInPart = 0;    // rows served with a long value read in part
        qint64 pagesSkipped = 0;  // pages of the table's map holding none of its rows
    };
    enum class RowLoss { LeftOut, InPart };
    struct Row {
        QString table;
        RowLoss loss = RowLoss::LeftOut;
        QString title;  // the row's first text value; empty when unreadable
    };

    std::vector<Table> tables;
    std::vector<Row> rows;  // every row left out or served in part that could be named

    bool isEmpty() const { return tables.empty(); }
    qint64 rowsAffected() const;

    // The titles of the rows served in part, for checks that a changed value
    // was reported.
    QStringList titlesInPart() const;

    // One paragraph for the user: how many documents were affected and how,
    // naming at most `titleCap` of them. `displayPath` names the file.
    QString text(const QString& displayPath, int titleCap = 10) const;

    // Written into the database that holds the copy (inside its transaction),
    // and read back from it; an empty report writes nothing.
    void write(sqlite3* db) const;
    static DamageReport read(sqlite3* db);
};

} // namespace Orvanta
