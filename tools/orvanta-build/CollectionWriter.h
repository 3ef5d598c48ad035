// Writes a collection's jst.mdb: an SQLite database with the table
// maindata(subject, htm, content, date), built in a temporary file beside it
// and renamed into place only when complete, so that a failed run leaves the
// old file untouched.
#pragma once

#include "platform/collection/CollectionLayout.h"
#include "platform/index/ContentIndex.h"

#include <QString>

#include <memory>
#include <optional>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace Orvanta::Build {

// What a jst.mdb already in place is, for the decision to replace it.
enum class ExistingStore { None, OurOwn, Jet, ForeignSqlite, Unknown };

ExistingStore inspectStore(const QString& path);

// The mark of a database this tool wrote ("ORVN"), in its application_id.
constexpr int kApplicationId = int(CollectionLayout::BuiltApplicationId);

class CollectionWriter {
public:
    // Refuses (Orvanta::Error) when `folder`/jst.mdb exists and was not made
    // by this tool, unless `force`. Opens the temporary database. Without
    // `contentIndex` the collection is written as before there was one.
    CollectionWriter(const QString& folder, bool force, bool contentIndex = true);
    ~CollectionWriter();
    CollectionWriter(const CollectionWriter&) = delete;
    CollectionWriter& operator=(const CollectionWriter&) = delete;

    // One row; texts are UTF-8. A missing date is stored as NULL.
    void addRow(std::string_view subject, std::string_view htm, std::string_view content,
                std::optional<std::string_view> date);

    // Ends the transaction, flushes the file to disk and renames it to jst.mdb.
    void commit();

    QString targetPath() const { return m_target; }

private:
    void exec(const char* sql);
    [[noreturn]] void fail(const QString& what);
    [[noreturn]] void fail(const QString& what, int code, const QString& detail);
    void discard();

    QString m_target;
    QString m_temporary;
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_insert = nullptr;
    bool m_committed = false;
    // Gathers the content index on other threads while rows are added.
    std::unique_ptr<ContentIndex::Builder> m_index;
};

} // namespace Orvanta::Build
