// Running orvanta-build and reading what it wrote, for the builder's tests.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace Orvanta::Test {

struct RunResult {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs the built program `name` (beside the tests' other programs).
RunResult runProgram(const QString& name, const QStringList& arguments, int timeoutMs = 120000);

inline RunResult runBuilder(const QStringList& arguments)
{
    return runProgram(QStringLiteral("orvanta-build"), arguments);
}

struct StoredRow {
    QString subject;
    QString htm;
    std::optional<QString> content;
    std::optional<QString> date;

    bool operator==(const StoredRow&) const = default;
};

// Every maindata row of an SQLite file, in storage order.
std::vector<StoredRow> readRows(const QString& databasePath);

// PRAGMA application_id of an SQLite file.
int applicationId(const QString& databasePath);

// Relative path -> bytes of every file below `folder`.
std::vector<std::pair<QString, QByteArray>> folderContents(const QString& folder);

} // namespace Orvanta::Test
