#include "platform/index/IndexedSearch.h"

#include "platform/Error.h"
#include "platform/index/ContentIndex.h"
#include "platform/index/IndexedTables.h"
#include "platform/index/WordDocuments.h"
#include "platform/sql/LikeMatcher.h"
#include "platform/sql/LikeSet.h"
#include "platform/sql/SqliteStatement.h"
#include "platform/sql/StatementPieces.h"
#include "platform/sql/StatementRows.h"
#include "platform/sql/Utf8Reading.h"
#include "platform/sql/VariantLike.h"
#include "platform/text/VariantFolding.h"

#include <sqlite3.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <map>
#include <memory>
#include <numeric>
#include <unordered_map>

namespace Orvanta::IndexedSearch {

namespace {

using namespace StatementPieces;

// Words the dialect passes to SQLite other than as their UTF-8 text.
bool plainText(QStringView word)
{
    return word.isValidUtf16() && !word.contains(QChar(0));
}

using SqlStatement = Sqlite::Statement;

// Keeps the candidates whose content our LIKE accepts: all of the patterns, or any.
void narrow(sqlite3* db, PostingSet& candidates, std::vector<std::string> patterns, bool all, bool variants)
{
    if (patterns.empty() || candidates.isEmpty())
        return;
    // A folded search compares folded texts with folded words, as the scan does.
    std::string foldedText;
    if (variants) {
        for (std::string& p : patterns)
            p = VariantLike::foldPattern(p, 0);
    }
    // Few patterns one by one (each takes LikeMatcher's fast path for
    // "%word%"); many in one pass, as the scan does.
    std::vector<LikeMatcher> matchers;
    std::optional<LikeSet> set;
    if (patterns.size() <= 64) {
        for (const std::string& p : patterns)
            matchers.emplace_back(p);
    } else {
        set.emplace(patterns);
    }
    auto matches = [&](std::string_view text) {
        if (set)
            return all ? set->matchesAll(text) : set->matchesAny(text);
        auto one = [&](const LikeMatcher& m) { return m.matches(text); };
        return all ? std::all_of(matchers.begin(), matchers.end(), one)
                   : std::any_of(matchers.begin(), matchers.end(), one);
    };
    SqlStatement read = prepareMaindataRead(db, "SELECT content FROM main.maindata WHERE rowid = ?1");
    PostingSet rejected;
    for (uint32_t rowid : candidates.values()) {
        sqlite3_bind_int64(read.get(), 1, rowid);
        const int rc = sqlite3_step(read.get());
        bool keep = false;
        if (rc == SQLITE_ROW && sqlite3_column_type(read.get(), 0) != SQLITE_NULL) {
            // The text as our LIKE receives it.
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(read.get(), 0));
            std::string_view view(text ? text : "", size_t(sqlite3_column_bytes(read.get(), 0)));
            if (variants) {
                VariantLike::foldText(view, foldedText);
                view = foldedText;
            }
            keep = matches(view);
        } else if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
            throw ContentIndex::Unusable("search index: reading a document failed");
        }
        sqlite3_reset(read.get());
        if (!keep)
            rejected.add(rowid);
    }
    candidates.subtract(rejected);
}

// Checking a document found through the index costs a look-up by rowid on top
// of the LIKE; when most documents need checking, reading them all in storage
// order is faster. Small collections always take the index: it costs little
// there, and it keeps the index path in use wherever it can be tried.
bool scanIsCheaper(const ContentIndex& index, const PostingSet& toCheck)
{
    return index.rowCount() >= 4096 && toCheck.size() > uint64_t(index.rowCount()) / 2;
}

// The positions of the rows in the newest-first order, ascending: one pass
// over the stored order against a bitmap of the rows' rowids, small enough to
// stay in the processor's cache (a million rows: 125 KB).
std::vector<uint32_t> ranksOf(ContentIndex& index, const PostingSet& rows)
{
    const std::vector<uint32_t> rowids = rows.values();
    std::vector<uint32_t> out;
    out.reserve(rowids.size());
    const std::vector<uint32_t>& order = index.newestFirst();
    if (!rowids.empty() && rowids.back() / 64 <= order.size()) {
        std::vector<uint64_t> member(size_t(rowids.back()) / 64 + 1);
        for (uint32_t rowid : rowids)
            member[rowid / 64] |= uint64_t(1) << (rowid % 64);
        // Without a branch per row: each rank is written, and kept when its row is.
        const uint32_t highest = rowids.back();
        out.resize(rowids.size() + 1);
        size_t kept = 0;
        for (size_t r = 0; r < order.size(); ++r) {
            const uint32_t rowid = std::min(order[r], highest);
            out[kept] = uint32_t(r);
            kept += size_t((member[rowid / 64] >> (rowid % 64)) & 1) & size_t(order[r] <= highest);
            if (kept > rowids.size())
                throw ContentIndex::Unusable("search index: the stored order names a row twice");
        }
        out.resize(kept);
    } else if (!rowids.empty()) {
        for (size_t r = 0; r < order.size(); ++r) {
            if (rows.contains(order[r]))
                out.push_back(uint32_t(r));
        }
    }
    if (out.size() != rowids.size())
        throw ContentIndex::Unusable("search index: the stored order does not cover the result");
    return out;
}

} // namespace

std::optional<Statement> recognize(const QString& jetSql)
{
    Statement out;
    if (jetSql == ListAll)
        return out; // every row, newest first
    qsizetype pos = 0;
    if (jetSql.startsWith(AllWordsBase))
        out.allWords = true;
    else if (jetSql.startsWith(AnyWordBase))
        out.allWords = false;
    else
        return std::nullopt;
    pos = AllWordsBase.size();
    const QString& head = out.allWords ? AllWordsHead : AnyWordHead;
    const QStringView sql(jetSql);
    // No word at all: "where 1=1 order by ..." (every row) or "where 1=2".
    if (out.allWords && sql.mid(pos) == QLatin1Char(' ') + Ordering)
        return out;
    for (;;) {
        if (!out.patterns.empty()) {
            const QStringView rest = sql.mid(pos);
            if (out.allWords ? rest == Ordering : rest.isEmpty())
                return out;
        }
        if (sql.mid(pos, head.size()) != head)
            return std::nullopt;
        pos += head.size();
        // The word up to the closing quote; every apostrophe in it is escaped.
        QString word;
        for (;;) {
            if (pos >= sql.size())
                return std::nullopt;
            if (sql[pos] != QLatin1Char('\'')) {
                word += sql[pos++];
            } else if (sql.mid(pos, ApostropheEscape.size()) == ApostropheEscape) {
                word += QLatin1Char('\'');
                pos += ApostropheEscape.size();
            } else {
                break;
            }
        }
        // The literal was '%word%' and a space follows it.
        if (!word.endsWith(QLatin1Char('%')) || sql.mid(pos, 2) != QLatin1String("' ") || !plainText(word))
            return std::nullopt;
        pos += 2;
        out.patterns.push_back((QLatin1Char('%') + word).toStdString());
    }
}

namespace {

// One read transaction for the whole search: the index and the rows are read
// from one state of the file, and the file is locked once, not once per row.
class ReadTransaction {
public:
    explicit ReadTransaction(sqlite3* db) : m_db(sqlite3_get_autocommit(db) ? db : nullptr)
    {
        if (m_db && sqlite3_exec(m_db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
            m_db = nullptr;
    }
    ~ReadTransaction()
    {
        if (m_db)
            sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
    }
    ReadTransaction(const ReadTransaction&) = delete;
    ReadTransaction& operator=(const ReadTransaction&) = delete;

private:
    sqlite3* m_db;
};

} // namespace

namespace {

// The rows a statement selects: positions in the newest-first order
// (ascending) or rowids in storage order.
struct Selection {
    bool byRank = true;
    std::vector<uint32_t> rows;
};

// The rows of `statement`, or nullopt when a scan is cheaper.
std::optional<Selection> select(ContentIndex& index, sqlite3* db, const Statement& statement)
{
    WordDocuments evaluator(index, statement.variants);
    // Each distinct pattern once: a repeated word decides nothing new.
    std::map<std::string, Condition> conditions;
    for (const std::string& pattern : statement.patterns) {
        if (!conditions.count(pattern))
            conditions.emplace(pattern, evaluator.condition(pattern));
    }

    PostingSet rows;
    std::vector<std::string> unsettled; // patterns that our LIKE must still decide
    if (statement.patterns.empty()) {
        Selection every;
        every.rows.resize(size_t(index.rowCount()));
        std::iota(every.rows.begin(), every.rows.end(), 0u);
        return every;
    } else if (statement.allWords) {
        std::vector<const Condition*> byRows;
        for (const auto& [pattern, condition] : conditions) {
            byRows.push_back(&condition);
            if (!condition.exact)
                unsettled.push_back(pattern);
        }
        std::sort(byRows.begin(), byRows.end(),
                  [](const Condition* a, const Condition* b) { return a->documents.size() < b->documents.size(); });
        rows = byRows.front()->documents;
        for (size_t i = 1; i < byRows.size() && !rows.isEmpty(); ++i)
            rows.intersectWith(byRows[i]->documents);
        if (!unsettled.empty() && scanIsCheaper(index, rows))
            return std::nullopt;
        narrow(db, rows, unsettled, true, statement.variants);
    } else {
        PostingSet candidates;
        for (const auto& [pattern, condition] : conditions) {
            if (condition.exact) {
                rows.unite(condition.documents);
            } else {
                candidates.unite(condition.documents);
                unsettled.push_back(pattern);
            }
        }
        candidates.subtract(rows);
        if (scanIsCheaper(index, candidates))
            return std::nullopt;
        narrow(db, candidates, unsettled, false, statement.variants);
        rows.unite(candidates);
    }

    if (statement.allWords)
        return Selection{true, ranksOf(index, rows)};
    return Selection{false, rows.values()};
}

} // namespace

std::shared_ptr<const ResultTable> run(ContentIndex& index, sqlite3* db, const Statement& statement)
{
    const ReadTransaction transaction(db);
    const std::optional<Selection> selection = select(index, db, statement);
    if (!selection)
        return nullptr;
    return selection->byRank ? tableByRank(index, db, selection->rows)
                             : tableInRowidOrder(index, db, selection->rows);
}

Visit visit(ContentIndex& index, sqlite3* db, const Statement& statement, TitleStore::RowVisitor& visitor)
{
    // Rows in storage order are read newest first and put in order in a
    // table: there is nothing to save here.
    if (!statement.allWords)
        return Visit::NotServed;
    const ReadTransaction transaction(db);
    const std::optional<Selection> selection = select(index, db, statement);
    if (!selection)
        return Visit::NotServed;

    // The rows and their order have been read and checked; only their titles
    // are left, each checked before it is handed over. Should the titles of
    // a row fail, that row and every one after it are looked up in maindata
    // instead: the rows handed over are the scan's either way.
    class Counting : public TitleStore::RowVisitor {
    public:
        explicit Counting(TitleStore::RowVisitor& to) : m_to(to) {}
        void expect(size_t rows, const double (&unitsPerRow)[2]) override { m_to.expect(rows, unitsPerRow); }
        void row(const TitleStore::StoredRow& row) override
        {
            ++handedOver;
            m_to.row(row);
        }
        size_t handedOver = 0;

    private:
        TitleStore::RowVisitor& m_to;
    } counting(visitor);
    try {
        index.titles().readByRank(selection->rows, counting);
        return Visit::Served;
    } catch (const ContentIndex::Unusable&) {
        if (counting.handedOver == 0)
            throw; // nothing handed over: the scan answers
    }
    const std::vector<uint32_t>& order = index.newestFirst();
    SqlStatement fetch = prepareMaindataRead(db, "SELECT subject, htm FROM main.maindata WHERE rowid = ?1");
    std::vector<unsigned char> units[2]; // a big-endian machine's copies
    for (size_t i = counting.handedOver; i < selection->rows.size(); ++i) {
        sqlite3_bind_int64(fetch.get(), 1, order[selection->rows[i]]);
        if (sqlite3_step(fetch.get()) != SQLITE_ROW)
            throw Error(ErrorCode::DatabaseDamaged, QStringLiteral("search index: a document it names is missing"));
        TitleStore::StoredRow row;
        for (int c = 0; c < 2; ++c) {
            const auto* text = static_cast<const char16_t*>(sqlite3_column_text16(fetch.get(), c));
            const size_t count = size_t(sqlite3_column_bytes16(fetch.get(), c)) / 2;
            if (sqlite3_column_type(fetch.get(), c) == SQLITE_NULL) {
                row.units[c] = TitleStore::NullCell;
                row.text[c] = nullptr;
                continue;
            }
            // Little-endian, as the index stores them.
            if constexpr (std::endian::native == std::endian::little) {
                row.text[c] = reinterpret_cast<const unsigned char*>(text);
            } else {
                units[c].resize(2 * count);
                for (size_t k = 0; k < count; ++k) {
                    units[c][2 * k] = static_cast<unsigned char>(text[k] & 0xFF);
                    units[c][2 * k + 1] = static_cast<unsigned char>(text[k] >> 8);
                }
                row.text[c] = units[c].data();
            }
            row.units[c] = uint32_t(count);
        }
        visitor.row(row);
        sqlite3_reset(fetch.get());
    }
    return Visit::ServedIndexFailed;
}

} // namespace Orvanta::IndexedSearch
