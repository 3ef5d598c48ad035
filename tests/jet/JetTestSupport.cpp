#include "jet/JetTestSupport.h"

#include <QFile>

#include <gtest/gtest.h>
#include <sqlite3.h>

namespace Orvanta::Test {

MemoryDb::MemoryDb()
{
    if (sqlite3_open(":memory:", &m_db) != SQLITE_OK)
        ADD_FAILURE() << "cannot open an in-memory database";
}

MemoryDb::~MemoryDb()
{
    sqlite3_close(m_db);
}

std::vector<std::vector<std::optional<QString>>> MemoryDb::rows(const QString& sql) const
{
    std::vector<std::vector<std::optional<QString>>> out;
    sqlite3_stmt* stmt = nullptr;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(m_db, text.constData(), -1, &stmt, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << "query failed: " << text.constData() << ": " << sqlite3_errmsg(m_db);
        return out;
    }
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        std::vector<std::optional<QString>> row;
        for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
            if (sqlite3_column_type(stmt, i) == SQLITE_NULL) {
                row.push_back(std::nullopt);
            } else {
                const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
                row.push_back(QString::fromUtf8(p, sqlite3_column_bytes(stmt, i)));
            }
        }
        out.push_back(std::move(row));
    }
    sqlite3_finalize(stmt);
    return out;
}

QStringList MemoryDb::tables() const
{
    QStringList names;
    for (const auto& row : rows(QStringLiteral("SELECT name FROM sqlite_master WHERE type='table' ORDER BY rowid")))
        names << row.at(0).value_or(QString());
    return names;
}

qint64 MemoryDb::count(const QString& table) const
{
    const auto r = rows(QStringLiteral("SELECT count(*) FROM \"%1\"").arg(table));
    return r.empty() ? -1 : r.at(0).at(0).value_or(QString()).toLongLong();
}

std::vector<ExpectedRow> readExpectedRows(const QString& path)
{
    std::vector<ExpectedRow> out;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << path.toStdString();
        return out;
    }
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray& line : lines) {
        if (line.isEmpty())
            continue;
        const QList<QByteArray> f = line.split('\t');
        if (f.size() != 4) {
            ADD_FAILURE() << "bad line in " << path.toStdString();
            continue;
        }
        ExpectedRow row;
        row.subject = QString::fromUtf8(f[0]);
        row.htm = QString::fromUtf8(f[1]);
        if (f[2] != "\\N")
            row.content = QString::fromUtf8(f[2]);
        if (!f[3].isEmpty())
            row.date = QString::fromUtf8(f[3]);
        out.push_back(std::move(row));
    }
    return out;
}

} // namespace Orvanta::Test
