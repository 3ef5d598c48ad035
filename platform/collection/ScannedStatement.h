// A statement in the Jet dialect run by SQLite over the whole collection,
// as the original engine would: translated (SqlDialect.h), checked to be a
// single read-only SELECT, and every row read into a result table. The
// content index answers the statements it recognizes; this answers the rest.
#pragma once

#include "platform/sql/ResultTable.h"

#include <QString>

#include <memory>

struct sqlite3;

namespace Orvanta::ScannedStatement {

// Throws Orvanta::Error, naming the file as `displayPath`.
std::shared_ptr<const ResultTable> run(sqlite3* db, const QString& jetSql, const QString& displayPath);

} // namespace Orvanta::ScannedStatement
