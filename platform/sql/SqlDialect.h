// Statements arrive in the Jet dialect (see Connection.h); SQLite runs them.
// The translation is a pure function of the text:
//   'a' & chr(39) & 'b'   concatenation and chr(): constant chains become one
//                          literal ('a''b'); the rest becomes || and char()
//   [date]                 bracketed names become "date"
//   "text"                 Jet's double-quoted literals become 'text'
//   from t                 a single table is read NOT INDEXED, so that rows come
//                          in storage order unless the statement orders them
//   order by ...           gets ", rowid" appended, so ties keep storage order
//   where c1 and c2 ...    long AND/OR chains are nested as a balanced tree, so
//                          that tens of thousands of conditions stay far below
//                          SQLite's expression depth limit; repeated
//                          conditions are left out, and long runs of LIKEs on
//                          one column become one call that scans the value once
//                          (more than Options::groupAbove of them)
// The text inside string literals is never changed.
#pragma once

#include <QString>

namespace Orvanta::SqlDialect {

struct Options {
    // Append ", rowid" to ORDER BY of a single-table query.
    bool rowidTies = true;
    // Read a single table NOT INDEXED.
    bool tableScan = true;
    // Rebalance WHERE clauses with more than this many AND/OR operators.
    int balanceAbove = 64;
    // In a rebalanced chain, test more than this many LIKE patterns on one
    // column in one pass (orvanta_like_any / orvanta_like_all, see LikeSet.h).
    int groupAbove = 64;
};

QString toSqlite(const QString& jetSql, const Options& options);
inline QString toSqlite(const QString& jetSql) { return toSqlite(jetSql, Options()); }

} // namespace Orvanta::SqlDialect
