// A collection's maindata table written with plain SQLite, row by row, as the
// tests that compare our engine with SQLite's own answers need it: NULL and
// empty kept apart, and the content index built as orvanta-build builds it.
#pragma once

#include <QString>

#include <optional>
#include <vector>

namespace Orvanta::Test {

struct MaindataRow {
    QString subject;
    QString htm;
    std::optional<QString> content;
    std::optional<QString> date;
};

// Creates maindata(subject, htm, content, date) in a new SQLite file at
// `path`, inserts `rows` in order and builds the content index. Fails the
// running test on any SQLite error.
void writeMaindata(const QString& path, const std::vector<MaindataRow>& rows);

} // namespace Orvanta::Test
