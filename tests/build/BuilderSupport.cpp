#include "build/BuilderSupport.h"

#include "support/Fixtures.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>

namespace Orvanta::Test {

RunResult runProgram(const QString& name, const QStringList& arguments, int timeoutMs)
{
    RunResult result;
    const QString program = binDir() + QLatin1Char('/') + name;
    if (!QFileInfo(program).isExecutable()) {
        ADD_FAILURE() << program.toStdString() << " is not built";
        return result;
    }
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << name.toStdString() << " did not finish";
        return result;
    }
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return result;
}

namespace {

std::optional<QString> columnText(sqlite3_stmt* stmt, int column)
{
    if (sqlite3_column_type(stmt, column) == SQLITE_NULL)
        return std::nullopt;
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
    return QString::fromUtf8(text, sqlite3_column_bytes(stmt, column));
}

} // namespace

std::vector<StoredRow> readRows(const QString& databasePath)
{
    std::vector<StoredRow> rows;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(databasePath).constData(), &db, SQLITE_OPEN_READONLY, nullptr)
        != SQLITE_OK) {
        ADD_FAILURE() << "cannot open " << databasePath.toStdString();
        sqlite3_close(db);
        return rows;
    }
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT subject, htm, content, date FROM maindata ORDER BY rowid", -1, &stmt,
                           nullptr)
        != SQLITE_OK) {
        ADD_FAILURE() << "no maindata in " << databasePath.toStdString() << ": " << sqlite3_errmsg(db);
        sqlite3_close(db);
        return rows;
    }
    while (sqlite3_step(stmt) == SQLITE_ROW)
        rows.push_back({columnText(stmt, 0).value_or(QString()), columnText(stmt, 1).value_or(QString()),
                        columnText(stmt, 2), columnText(stmt, 3)});
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return rows;
}

int applicationId(const QString& databasePath)
{
    sqlite3* db = nullptr;
    int id = 0;
    if (sqlite3_open_v2(QFile::encodeName(databasePath).constData(), &db, SQLITE_OPEN_READONLY, nullptr)
        == SQLITE_OK) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA application_id", -1, &stmt, nullptr) == SQLITE_OK
            && sqlite3_step(stmt) == SQLITE_ROW)
            id = sqlite3_column_int(stmt, 0);
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return id;
}

std::vector<std::pair<QString, QByteArray>> folderContents(const QString& folder)
{
    std::vector<std::pair<QString, QByteArray>> out;
    const QDir root(folder);
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        out.emplace_back(root.relativeFilePath(path), readFile(path));
    }
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace Orvanta::Test
