// Any query box text must compose to a statement that the engine accepts and
// runs: no crash, no rejected statement, whatever the user types.
#include "platform/sql/SqlDialect.h"
#include "platform/sql/SqliteFunctions.h"
#include "search/core/QueryComposer.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>

namespace {

sqlite3* database()
{
    static sqlite3* db = [] {
        sqlite3* d = nullptr;
        sqlite3_open(":memory:", &d);
        Orvanta::registerLikeFunction(d);
        sqlite3_exec(d,
                     "create table maindata(subject text, htm text, content text, date text);"
                     "insert into maindata values('a','a.htm','人參 it''s Ginseng 100%_x','2001-01-01 00:00:00');"
                     "insert into maindata values('b','b.htm',NULL,NULL);"
                     "insert into maindata values('c','c.htm','','1644-05-01 00:00:00');",
                     nullptr, nullptr, nullptr);
        return d;
    }();
    return db;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const Orvanta::ComposedQuery q = Orvanta::composeQuery(text);
    if (!q.sql.startsWith(QLatin1String("select subject,htm from  maindata ")))
        std::abort();
    const QByteArray sql = Orvanta::SqlDialect::toSqlite(q.sql).toUtf8();
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(database(), sql.constData(), int(sql.size()), &stmt, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "rejected: %s\n%s\n", sqlite3_errmsg(database()), sql.constData());
        std::abort();
    }
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) {
        std::fprintf(stderr, "failed: %s\n%s\n", sqlite3_errmsg(database()), sql.constData());
        std::abort();
    }
    sqlite3_finalize(stmt);
    return 0;
}
