// The database half of a search: run the statement as the search routine does
// (open, test for rows, close, open again) and hand back the rows to bind.
#pragma once

#include "platform/sql/LikeComparison.h"
#include "platform/sql/ResultTable.h"
#include "platform/index/TitleStore.h"

#include <QString>

#include <memory>

namespace Orvanta {

// Opens a new connection with `connectionString`, runs `sql` as a static result
// set, tests it for rows, closes it and, when there are rows, opens it again
// with the engine's defaults. Returns the rows, or nullptr when there are none.
// Throws Orvanta::Error for every engine failure.
// When the data source is a damaged file opened with what could be read, the
// warning about what was lost lands in `damageWarning` the first time a search
// runs on this opening of the file (see Database::takeDamageWarning).
// With LikeComparison::Variants the same statement finds every variant form
// of its words (the 異體字 switch). `windowsVoice` words the damage warning as
// the window speaks (DamageWarning.h).
std::shared_ptr<const ResultTable> executeSearch(const QString& connectionString, const QString& sql,
                                                 QString* damageWarning = nullptr,
                                                 LikeComparison comparison = LikeComparison::Exact,
                                                 bool windowsVoice = false);

// For a program that writes the rows out once and ends: the same search, its
// rows handed to `visitor` as the collection's content index reads them,
// without a result table. Returns how many rows were handed over (0: none
// found), or -1, with none handed over, when the search is for
// executeSearch() instead. The damage warning is as for executeSearch(),
// and taken whatever this returns.
qint64 visitSearch(const QString& connectionString, const QString& sql, QString* damageWarning,
                   TitleStore::RowVisitor& visitor, LikeComparison comparison = LikeComparison::Exact);

// " 全文檢索搜尋　[ " + escaped + " ]　資料不存在"
QString emptyResultMessage(const QString& escapedQuery);

// The "mod1" positioning scan over result rows (row numbers as in the result
// list: 1 is the first result row): the first row whose title is >= `escaped`,
// else the last row; 1 when the list holds a single result row.
qsizetype mod1Position(const ResultTable& rows, const QString& escapedQuery);

} // namespace Orvanta
