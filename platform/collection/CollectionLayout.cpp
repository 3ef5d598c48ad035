#include "platform/collection/CollectionLayout.h"

#include <QByteArray>

#include <sqlite3.h>

namespace Orvanta::CollectionLayout {

bool setPageSize(sqlite3* db)
{
    const QByteArray sql = "PRAGMA page_size=" + QByteArray::number(PageSize);
    return sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool addNewestFirstIndex(sqlite3* db)
{
    const int rc = sqlite3_exec(db, "CREATE INDEX IF NOT EXISTS maindata_newest ON maindata(date DESC, subject, htm)",
                                nullptr, nullptr, nullptr);
    // SQLITE_ERROR is "no such table" or "no such column": a Jet file with
    // other tables, which has no list of documents to keep in order.
    return rc == SQLITE_OK || rc == SQLITE_ERROR;
}

} // namespace Orvanta::CollectionLayout
