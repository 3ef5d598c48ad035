// The content index must give exactly the rows the scan gives, for any
// content and any query box text: both run on the same small collection.
// Input: content values separated by 0x01 (one starting with 0x02 is NULL),
// the last piece being the query box text.
#include "platform/index/ContentIndex.h"
#include "platform/index/IndexedSearch.h"
#include "platform/sql/SqlDialect.h"
#include "platform/sql/SqliteFunctions.h"
#include "platform/sql/StatementRows.h"
#include "search/core/QueryComposer.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

std::shared_ptr<const Orvanta::ResultTable> scan(sqlite3* db, const QString& jetSql)
{
    const QByteArray sql = Orvanta::SqlDialect::toSqlite(jetSql).toUtf8();
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &stmt, nullptr) != SQLITE_OK)
        std::abort();
    auto table = std::make_shared<Orvanta::ResultTable>(Orvanta::columnNamesOf(stmt));
    while (sqlite3_step(stmt) == SQLITE_ROW)
        Orvanta::appendCurrentRow(*table, stmt, 2);
    sqlite3_finalize(stmt);
    return table;
}

bool same(const Orvanta::ResultTable& a, const Orvanta::ResultTable& b)
{
    if (a.rowCount() != b.rowCount() || a.columnNames() != b.columnNames())
        return false;
    for (qsizetype r = 0; r < a.rowCount(); ++r) {
        for (int c = 0; c < 2; ++c) {
            if (a.cell(r, c) != b.cell(r, c) || a.isNull(r, c) != b.isNull(r, c))
                return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::string_view> pieces;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    size_t start = 0;
    for (size_t i = 0; i <= input.size(); ++i) {
        if (i == input.size() || input[i] == '\x01') {
            pieces.push_back(input.substr(start, i - start));
            start = i + 1;
        }
    }
    if (pieces.size() > 8)
        return 0;
    const QString query = QString::fromUtf8(pieces.back().data(), qsizetype(pieces.back().size()));
    pieces.pop_back();

    sqlite3* db = nullptr;
    sqlite3_open(":memory:", &db);
    Orvanta::registerLikeFunction(db);
    sqlite3_exec(db, "create table maindata(subject text, htm text, content text, date text)", nullptr, nullptr,
                 nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "insert into maindata values (?1, ?2, ?3, ?4)", -1, &insert, nullptr);
    for (size_t i = 0; i < pieces.size(); ++i) {
        const std::string subject = "s" + std::to_string(i);
        sqlite3_bind_text(insert, 1, subject.data(), int(subject.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, subject.data(), int(subject.size()), SQLITE_TRANSIENT);
        if (!pieces[i].empty() && pieces[i][0] == '\x02')
            sqlite3_bind_null(insert, 3);
        else
            sqlite3_bind_text(insert, 3, pieces[i].data(), int(pieces[i].size()), SQLITE_TRANSIENT);
        if (i % 3)
            sqlite3_bind_text(insert, 4, i % 2 ? "2001-01-01" : "1999-01-01", -1, SQLITE_STATIC);
        else
            sqlite3_bind_null(insert, 4);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    if (!Orvanta::ContentIndex::build(db))
        std::abort();

    const QString sql = Orvanta::composeQuery(query).sql;
    if (const auto statement = Orvanta::IndexedSearch::recognize(sql)) {
        auto index = Orvanta::ContentIndex::open(db);
        if (!index)
            std::abort();
        const auto indexed = Orvanta::IndexedSearch::run(*index, db, *statement);
        if (indexed && !same(*indexed, *scan(db, sql))) {
            std::fprintf(stderr, "index and scan differ for: %s\n", sql.toUtf8().constData());
            std::abort();
        }
    }
    sqlite3_close(db);
    return 0;
}
