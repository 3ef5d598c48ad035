// Helpers for the database tests: SQLite files written with plain SQLite, and
// connection strings in the form the program builds them.
#pragma once

#include <QFileInfo>
#include <QString>

#include <sqlite3.h>

#include <gtest/gtest.h>

namespace Orvanta::DbTest {

// "Provider=...;Data Source=<folder>\<name>;Persist Security Info=False".
inline QString connectionStringFor(const QString& path)
{
    const QFileInfo info(path);
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + info.absolutePath()
        + QLatin1Char('\\') + info.fileName() + QStringLiteral(";Persist Security Info=False");
}

// A writable SQLite file, closed when the object goes.
class SqliteFile {
public:
    explicit SqliteFile(const QString& path)
    {
        EXPECT_EQ(sqlite3_open(path.toUtf8().constData(), &m_db), SQLITE_OK);
    }
    ~SqliteFile() { sqlite3_close(m_db); }
    SqliteFile(const SqliteFile&) = delete;
    SqliteFile& operator=(const SqliteFile&) = delete;

    void exec(const char* sql)
    {
        char* error = nullptr;
        EXPECT_EQ(sqlite3_exec(m_db, sql, nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "") << "\n" << sql;
        sqlite3_free(error);
    }

    // Binds ?1 to `number` and ?2.. to the texts (nullptr: NULL).
    void insertText(const char* sql, long long number, const char* a, const char* b = nullptr,
                    const char* c = nullptr, const char* d = nullptr, int texts = 1)
    {
        sqlite3_stmt* st = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(m_db, sql, -1, &st, nullptr), SQLITE_OK) << sqlite3_errmsg(m_db);
        sqlite3_bind_int64(st, 1, number);
        const char* values[] = {a, b, c, d};
        for (int i = 0; i < texts; ++i) {
            if (values[i])
                sqlite3_bind_text(st, i + 2, values[i], -1, SQLITE_TRANSIENT);
            else
                sqlite3_bind_null(st, i + 2);
        }
        EXPECT_EQ(sqlite3_step(st), SQLITE_DONE) << sqlite3_errmsg(m_db);
        sqlite3_finalize(st);
    }

    sqlite3* handle() const { return m_db; }

private:
    sqlite3* m_db = nullptr;
};

} // namespace Orvanta::DbTest
