// The translation must survive any text (unbalanced quotes and brackets,
// stray "&", "chr(" without end, comments, very long chains), and where a
// statement means the same in both dialects it must keep its meaning: such a
// statement, run as SQLite reads it and run translated, must give the same
// rows from the same small table.
#include "platform/sql/SqlDialect.h"
#include "platform/sql/SqliteFunctions.h"

#include <QString>

#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kStepBudget = 200000; // virtual machine steps per statement
constexpr int kRowBudget = 2000;

int& steps();

sqlite3* table()
{
    static sqlite3* db = [] {
        sqlite3* d = nullptr;
        sqlite3_open(":memory:", &d);
        sqlite3_exec(d,
                     "CREATE TABLE maindata(subject TEXT, htm TEXT, content TEXT, date DATETIME);"
                     "INSERT INTO maindata VALUES"
                     "('人參湯','data\\a.htm','人參 甘草 乾薑','1900-01-03 00:00:00'),"
                     "('甘草湯','data\\b.htm','甘草','1900-01-02 00:00:00'),"
                     "('it''s','data\\c.htm','it''s 100% 純_品','1900-01-02 00:00:00'),"
                     "('Ginseng','DATA\\D.HTM','GINSENG root ß Σσς','1644-01-01 00:00:00'),"
                     "('空','data\\e.htm','',NULL),"
                     "('無','data\\f.htm',NULL,'0200-01-01 00:00:00'),"
                     "('同日','data\\g.htm','同日 黃耆','1900-01-02 00:00:00'),"
                     "(NULL,NULL,'𠀀x　全形',NULL);",
                     nullptr, nullptr, nullptr);
        Orvanta::registerLikeFunction(d);
        sqlite3_exec(d, "PRAGMA query_only=1", nullptr, nullptr, nullptr);
        sqlite3_progress_handler(
            d, 1000, [](void* steps) { return ++*static_cast<int*>(steps) > kStepBudget / 1000 ? 1 : 0; },
            &steps());
        return d;
    }();
    return db;
}

int& steps()
{
    static int n = 0;
    return n;
}

struct Result {
    bool ran = false;       // prepared and stepped to the end
    bool outOfBudget = false;
    std::vector<std::string> rows;
};

Result run(const std::u16string& sql)
{
    Result r;
    sqlite3* db = table();
    sqlite3_stmt* st = nullptr;
    const void* tail = nullptr;
    if (sqlite3_prepare16_v2(db, sql.data(), int(sql.size() * 2), &st, &tail) != SQLITE_OK || !st) {
        sqlite3_finalize(st);
        return r;
    }
    // One statement only, and one that only reads.
    const auto* rest = static_cast<const char16_t*>(tail);
    for (const char16_t* p = rest; p < sql.data() + sql.size(); ++p) {
        if (*p != u';' && *p != u' ' && *p != u'\t' && *p != u'\n' && *p != u'\r') {
            sqlite3_finalize(st);
            return r;
        }
    }
    if (!sqlite3_stmt_readonly(st)) {
        sqlite3_finalize(st);
        return r;
    }
    steps() = 0;
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW && int(r.rows.size()) < kRowBudget) {
        std::string row;
        for (int c = 0; c < sqlite3_column_count(st); ++c) {
            const int type = sqlite3_column_type(st, c);
            row += char('0' + type);
            if (type != SQLITE_NULL) {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
                row.append(text, size_t(sqlite3_column_bytes(st, c)));
            }
            row += '\x1f';
        }
        r.rows.push_back(std::move(row));
    }
    r.outOfBudget = rc == SQLITE_INTERRUPT || int(r.rows.size()) >= kRowBudget;
    r.ran = rc == SQLITE_DONE || rc == SQLITE_ROW;
    sqlite3_finalize(st);
    std::sort(r.rows.begin(), r.rows.end()); // ties may come in another order
    return r;
}

// Statements whose text Jet reads otherwise than SQLite, or whose rows may
// rightly differ (a LIMIT over ties, chance), are only translated.
bool meansTheSame(const QString& sql)
{
    const QString lower = sql.toLower();
    for (const char* word : {"&", "[", "]", "\"", "chr", "#", "limit", "offset", "random", "rowid", "--", "/*",
                             "changes", "total_changes", "last_insert", "sqlite_", "pragma"}) {
        if (lower.contains(QLatin1String(word)))
            return false;
    }
    return true;
}

std::u16string utf16(const QString& s)
{
    return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()), size_t(s.size()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString sql = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString translated = Orvanta::SqlDialect::toSqlite(sql);
    if (!meansTheSame(sql))
        return 0;
    const Result original = run(utf16(sql));
    if (!original.ran || original.outOfBudget)
        return 0;
    Orvanta::SqlDialect::Options options;
    Result mine = run(utf16(translated));
    if (!mine.ran) {
        // As the engine does: views and subqueries order ties without rowid.
        options.rowidTies = false;
        mine = run(utf16(Orvanta::SqlDialect::toSqlite(sql, options)));
    }
    if (mine.outOfBudget)
        return 0;
    if (!mine.ran || mine.rows != original.rows)
        std::abort();
    return 0;
}
