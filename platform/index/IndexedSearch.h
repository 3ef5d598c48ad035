// Runs the statements the query composer writes through the content index
// instead of scanning every document, with the same rows in the same order:
//   ... order by date desc    (and "where 1=1" without words) every row,
//                             newest first, ties by rowid
//   ... where 1=1 and content like '%w1%' and ... order by [date] desc
//       the documents matching every word, newest first, ties by rowid
//   ... where 1=2  or content like '%w1%'  or ...
//       the documents matching any word, in storage (rowid) order
// Any other statement is not recognized and is scanned as before, and so is a
// word the index cannot stand for exactly (one holding U+0000 or a lone
// surrogate, which the dialect hands to SQLite in pieces).
#pragma once

#include "platform/sql/ResultTable.h"
#include "platform/index/TitleStore.h"

#include <QString>

#include <memory>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace Orvanta {

class ContentIndex;

namespace IndexedSearch {

struct Statement {
    bool allWords = true;              // AND and newest first; else OR in storage order
    std::vector<std::string> patterns; // the LIKE patterns ("%word%"), UTF-8; none: every row
    bool variants = false;             // every variant form of the words (VariantGrams.h)
};

// The statement as the composer wrote it, or nullopt.
std::optional<Statement> recognize(const QString& jetSql);

// The rows "select subject,htm" gives for `statement`, or nullptr when most
// documents would need checking by LIKE anyway, so a scan is faster. Throws
// ContentIndex::Unusable when the stored index fails, Orvanta::Error when
// SQLite does.
std::shared_ptr<const ResultTable> run(ContentIndex& index, sqlite3* db, const Statement& statement);

// The same rows handed to `visitor` one by one as they are read, without a
// table, for a statement whose rows come newest first; NotServed when the
// statement is to be run as a table instead (by run() or a scan). Each row's
// stored titles are checked before it is handed over; when they fail, the
// rest of the rows are looked up in maindata, and ServedIndexFailed says the
// index is not to be used again. Throws as run() does while no row has been
// handed over; after that, Orvanta::Error only, the rows handed over so far
// staying so.
enum class Visit { NotServed, Served, ServedIndexFailed };
Visit visit(ContentIndex& index, sqlite3* db, const Statement& statement, TitleStore::RowVisitor& visitor);

} // namespace IndexedSearch
} // namespace Orvanta
