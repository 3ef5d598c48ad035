// Helpers of the Jet tests: an in-memory SQLite database and the expected
// rows files of the fixtures.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

struct sqlite3;

namespace Orvanta::Test {

class MemoryDb {
public:
    MemoryDb();
    ~MemoryDb();
    MemoryDb(const MemoryDb&) = delete;
    MemoryDb& operator=(const MemoryDb&) = delete;
    sqlite3* handle() const { return m_db; }

    // Rows of a query; NULL comes back as std::nullopt.
    std::vector<std::vector<std::optional<QString>>> rows(const QString& sql) const;
    QStringList tables() const;
    qint64 count(const QString& table) const;

private:
    sqlite3* m_db = nullptr;
};

// One line of an expected-rows.tsv: subject, htm, content, date; `\N` is a
// NULL content, an empty date field a NULL date.
struct ExpectedRow {
    QString subject;
    QString htm;
    std::optional<QString> content;
    std::optional<QString> date;
};

std::vector<ExpectedRow> readExpectedRows(const QString& path);

} // namespace Orvanta::Test
