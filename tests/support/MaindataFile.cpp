#include "support/MaindataFile.h"

#include "platform/index/ContentIndex.h"

#include <QFile>
#include <gtest/gtest.h>
#include <sqlite3.h>

namespace Orvanta::Test {

namespace {

void bindText(sqlite3_stmt* st, int column, const std::optional<QString>& value)
{
    if (!value) {
        sqlite3_bind_null(st, column);
        return;
    }
    const QByteArray bytes = value->toUtf8();
    sqlite3_bind_text(st, column, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
}

} // namespace

void writeMaindata(const QString& path, const std::vector<MaindataRow>& rows)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE maindata(subject TEXT, htm TEXT, content TEXT, date TEXT); BEGIN",
                           nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "INSERT INTO maindata VALUES (?1, ?2, ?3, ?4)", -1, &st, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db);
    for (const MaindataRow& row : rows) {
        bindText(st, 1, row.subject);
        bindText(st, 2, row.htm);
        bindText(st, 3, row.content);
        bindText(st, 4, row.date);
        EXPECT_EQ(sqlite3_step(st), SQLITE_DONE) << sqlite3_errmsg(db);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    ASSERT_EQ(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    EXPECT_TRUE(ContentIndex::build(db));
    sqlite3_close(db);
}

} // namespace Orvanta::Test
