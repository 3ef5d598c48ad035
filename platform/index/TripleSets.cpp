#include "platform/index/TripleSets.h"

#include "platform/index/ContentIndex.h"
#include "platform/index/GramSetBuilder.h"
#include "platform/index/IndexStorage.h"

#include <sqlite3.h>

#include <bit>
#include <optional>
#include <string>
#include <unordered_map>

namespace Orvanta::TripleSets {

using namespace IndexStorage;

namespace {

constexpr int RunBits = GramSetBuilder::RunBits;
constexpr char Explicit = '+';
constexpr char Complement = '-';

// One pair's set in one run, from the stored grams; empty when it has none.
PostingSet pairInRun(sqlite3* db, Statement& lookup, uint64_t pair, uint32_t run)
{
    sqlite3_stmt* st = lookup.get();
    sqlite3_reset(st);
    sqlite3_bind_int64(st, 1, std::bit_cast<sqlite3_int64>(ContentIndex::storedKey(pair, run)));
    const int rc = sqlite3_step(st);
    PostingSet out;
    if (rc == SQLITE_ROW) {
        std::optional<PostingSet> set = PostingSet::deserialize(
            checkedPayload(sqlite3_column_blob(st, 0), sqlite3_column_bytes(st, 0)));
        if (!set)
            throw sqliteError(db, SQLITE_CORRUPT, "a pair's set being written");
        out = std::move(*set);
    } else if (rc != SQLITE_DONE) {
        throw sqliteError(db, rc, "reading a pair's set");
    }
    sqlite3_reset(st);
    return out;
}

// The pairs' sets of the runs, read once each while they fit: the triples
// come by their first two characters, so the set of a triple's second pair
// is wanted again for every first character before it, and reading it back
// (its checksum, its b-tree, its decoding) cost more than the encoding.
class PairCache {
public:
    PairCache(sqlite3* db, Statement& lookup) : m_db(db), m_lookup(lookup) {}
    const PostingSet& get(uint64_t pair, uint32_t run)
    {
        const uint64_t key = ContentIndex::storedKey(pair, run);
        auto found = m_sets.find(key);
        if (found != m_sets.end())
            return found->second;
        PostingSet set = pairInRun(m_db, m_lookup, pair, run);
        // Held within a bound: when full, it starts again empty.
        const size_t bytes = set.serializedBytes() + 64;
        if (m_bytes + bytes > MostBytes) {
            m_sets.clear();
            m_bytes = 0;
        }
        m_bytes += bytes;
        return m_sets.emplace(key, std::move(set)).first->second;
    }

private:
    static constexpr size_t MostBytes = size_t(64) << 20;
    sqlite3* m_db;
    Statement& m_lookup;
    std::unordered_map<uint64_t, PostingSet> m_sets;
    size_t m_bytes = 0;
};

} // namespace

void createGatheredTable(sqlite3* db)
{
    drop(db);
    exec(db, "CREATE TABLE temp.orvanta_index_triples_gathered(key INTEGER PRIMARY KEY, sets BLOB NOT NULL)");
}

void drop(sqlite3* db)
{
    exec(db, "DROP TABLE IF EXISTS temp.orvanta_index_triples_gathered");
    exec(db, "DROP TABLE IF EXISTS main.orvanta_index_triples");
}

void encode(sqlite3* db)
{
    exec(db, "DROP TABLE IF EXISTS main.orvanta_index_triples");
    exec(db, "CREATE TABLE main.orvanta_index_triples(key INTEGER PRIMARY KEY, sets BLOB NOT NULL)");
    {
        Statement gathered = prepare(db, "SELECT key, sets FROM temp.orvanta_index_triples_gathered ORDER BY key");
        Statement lookup = prepare(db, "SELECT sets FROM main.orvanta_index_grams WHERE key = ?1");
        Statement insert = prepare(db, "INSERT INTO main.orvanta_index_triples(key, sets) VALUES (?1, ?2)");
        PairCache pairs(db, lookup);
        int rc;
        while ((rc = sqlite3_step(gathered.get())) == SQLITE_ROW) {
            const auto key = std::bit_cast<uint64_t>(sqlite3_column_int64(gathered.get(), 0));
            std::optional<PostingSet> triple = PostingSet::deserialize(
                checkedPayload(sqlite3_column_blob(gathered.get(), 1), sqlite3_column_bytes(gathered.get(), 1)));
            if (!triple)
                throw sqliteError(db, SQLITE_CORRUPT, "a gathered triple's set");
            const auto run = uint32_t(key & ((1u << RunBits) - 1));
            const uint64_t chars = key >> RunBits;
            const auto a = char32_t(chars >> 32), b = char32_t((chars >> 16) & 0xFFFF), c = char32_t(chars & 0xFFFF);
            PostingSet rest = pairs.get(ContentIndex::bigram(a, b), run);
            rest.intersectWith(pairs.get(ContentIndex::bigram(b, c), run));
            rest.subtract(*triple);
            std::string payload(1, rest.size() < triple->size() ? Complement : Explicit);
            PostingSet& stored = payload[0] == Complement ? rest : *triple;
            stored.optimize();
            payload += stored.serialize();
            const std::string blob = withChecksum(payload);
            sqlite3_bind_int64(insert.get(), 1, std::bit_cast<sqlite3_int64>(key));
            sqlite3_bind_blob(insert.get(), 2, blob.data(), int(blob.size()), SQLITE_STATIC);
            const int done = sqlite3_step(insert.get());
            sqlite3_reset(insert.get());
            if (done != SQLITE_DONE)
                throw sqliteError(db, done, "posting sets");
        }
        if (rc != SQLITE_DONE)
            throw sqliteError(db, rc, "reading the gathered triples");
    }
    exec(db, "DROP TABLE temp.orvanta_index_triples_gathered");
}

PostingSet read(sqlite3* db, uint64_t gram, const PostingSet& bothPairs)
{
    Statement st = tryPrepare(db, "SELECT key, sets FROM main.orvanta_index_triples WHERE key BETWEEN ?1 AND ?2");
    if (!st)
        throw ContentIndex::Unusable("search index: the sets of triples cannot be read");
    // A triple's keys may be negative; one triple's keys differ in their low
    // bits only, so they stay one range either way.
    const uint64_t first = ContentIndex::storedKey(gram, 0);
    sqlite3_bind_int64(st.get(), 1, std::bit_cast<sqlite3_int64>(first));
    sqlite3_bind_int64(st.get(), 2, std::bit_cast<sqlite3_int64>(first | ((1u << RunBits) - 1)));
    PostingSet out;
    int rc;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
        const std::string_view payload =
            checkedPayload(sqlite3_column_blob(st.get(), 1), sqlite3_column_bytes(st.get(), 1));
        std::optional<PostingSet> part = payload.empty() ? std::nullopt : PostingSet::deserialize(payload.substr(1));
        if (!part || (payload[0] != Explicit && payload[0] != Complement))
            throw ContentIndex::Unusable("search index: a stored set is not well-formed");
        if (payload[0] == Complement) {
            const auto run = uint32_t(std::bit_cast<uint64_t>(sqlite3_column_int64(st.get(), 0)) & ((1u << RunBits) - 1));
            PostingSet inRun;
            inRun.addRange(run << RunBits, (run << RunBits) | ((1u << RunBits) - 1));
            inRun.intersectWith(bothPairs);
            inRun.subtract(*part);
            part = std::move(inRun);
        }
        out.unite(*part);
    }
    if (rc != SQLITE_DONE)
        throw ContentIndex::Unusable("search index: reading the posting sets failed");
    return out;
}

} // namespace Orvanta::TripleSets
