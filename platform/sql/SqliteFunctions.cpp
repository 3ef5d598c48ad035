#include "platform/sql/SqliteFunctions.h"

#include "platform/sql/LikeMatcher.h"
#include "platform/sql/LikeSet.h"
#include "platform/sql/VariantLike.h"

#include <sqlite3.h>

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

namespace Orvanta {

namespace {

// Compiled patterns of one connection. A statement's pattern is a constant
// whose text stays at one address while the statement lives, so the address
// finds the matcher at once; the stored copy of the text guards against an
// address reused for another pattern later. (SQLite's auxiliary data would
// do the same, but its look-up walks a list of every call site: a statement
// with 40,000 conditions would spend its time there.)
template <typename Compiled, size_t MaxEntries>
class CompiledCache {
public:
    template <typename Make>
    const Compiled& get(const char* pattern, size_t bytes, char32_t escape, Make make)
    {
        Entry& e = m_entries[Key{pattern, bytes, escape}];
        if (!e.compiled || std::string_view(e.pattern) != std::string_view(pattern, bytes)) {
            if (m_entries.size() > MaxEntries) {
                // Patterns of finished statements pile up here; start over.
                m_entries.clear();
                return get(pattern, bytes, escape, make);
            }
            e.pattern.assign(pattern, bytes);
            e.compiled = std::make_unique<Compiled>(make(e.pattern));
        }
        return *e.compiled;
    }

private:
    struct Key {
        const char* text;
        size_t bytes;
        char32_t escape;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        size_t operator()(const Key& k) const
        {
            return std::hash<const void*>()(k.text) ^ (k.bytes * 0x9E3779B97F4A7C15ull) ^ k.escape;
        }
    };
    struct Entry {
        std::string pattern;
        std::unique_ptr<Compiled> compiled;
    };
    std::unordered_map<Key, Entry, KeyHash> m_entries;

public:
    void clear() { m_entries.clear(); }
};

struct PatternCache {
    // Text values of a UTF-8 database can be read as they are stored.
    bool utf8Database = false;
    // Whether the LIKEs compare variant-folded text (VariantLike.h), for
    // the statements run while it is set.
    bool variants = false;
    std::string foldedText; // the current row's text, folded
    CompiledCache<LikeMatcher, 4096> matchers; // a statement holds at most a few dozen single patterns per column
    CompiledCache<LikeSet, 64> sets; // each can hold tens of thousands of words
};

// The text argument as UTF-8 bytes; false when it is NULL.
bool textOf(PatternCache* cache, sqlite3_value* value, std::string_view& text)
{
    if (sqlite3_value_type(value) == SQLITE_NULL)
        return false;
    // The content as stored: asking for the text would copy every value that
    // lies in a page only to append a terminating zero the matcher does not need.
    const bool asStored = cache->utf8Database && sqlite3_value_type(value) == SQLITE_TEXT;
    const auto* t = static_cast<const char*>(asStored ? sqlite3_value_blob(value) : sqlite3_value_text(value));
    const size_t n = size_t(sqlite3_value_bytes(value));
    text = std::string_view(t ? t : "", t ? n : 0);
    if (cache->variants) {
        VariantLike::foldText(text, cache->foldedText);
        text = cache->foldedText;
    }
    return true;
}

void destroyCache(void* p)
{
    delete static_cast<PatternCache*>(p);
}

// The escape character of like(pattern, text, escape): exactly one character.
bool escapeOf(sqlite3_value* value, char32_t& escape)
{
    const auto* e = sqlite3_value_text(value);
    const int bytes = sqlite3_value_bytes(value);
    if (!e || bytes == 0)
        return false;
    const unsigned b = e[0];
    const int len = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
    if (len != bytes)
        return false;
    char32_t cp = len == 1 ? b : b & (0x7F >> len);
    for (int k = 1; k < len; ++k)
        cp = (cp << 6) | (e[k] & 0x3F);
    escape = cp;
    return true;
}

// Patterns from this length on are compiled once per statement through
// SQLite's auxiliary data; its look-up walks every call site of the
// statement, which the pattern's own length outweighs from here on.
constexpr size_t LongPattern = 4096;

struct LongMatcher {
    char32_t escape;
    bool variants;
    LikeMatcher matcher;
};

// like(pattern, text [, escape]): SQLite passes the pattern first.
void likeFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return; // NULL: never a match
    char32_t escape = 0;
    if (argc == 3) {
        if (sqlite3_value_type(argv[2]) == SQLITE_NULL)
            return;
        if (!escapeOf(argv[2], escape)) {
            sqlite3_result_error(ctx, "ESCAPE expression must be a single character", -1);
            return;
        }
    }
    const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const size_t pn = size_t(sqlite3_value_bytes(argv[0]));
    auto* cache = static_cast<PatternCache*>(sqlite3_user_data(ctx));
    std::string_view text;
    if (!p || !textOf(cache, argv[1], text)) {
        sqlite3_result_error_nomem(ctx);
        return;
    }
    try {
        if (pn >= LongPattern) {
            // Checking that a long pattern is the cached one would cost a
            // comparison of all of it on every row: SQLite keeps the compiled
            // form with the constant argument instead.
            auto* kept = static_cast<LongMatcher*>(sqlite3_get_auxdata(ctx, 0));
            if (kept && kept->escape == escape && kept->variants == cache->variants) {
                sqlite3_result_int(ctx, kept->matcher.matches(text));
                return;
            }
            const std::string_view pattern(p, pn);
            auto made = std::make_unique<LongMatcher>(LongMatcher{
                escape, cache->variants,
                LikeMatcher(cache->variants ? VariantLike::foldPattern(pattern, escape) : std::string(pattern), escape)});
            sqlite3_result_int(ctx, made->matcher.matches(text));
            // SQLite deletes it at once when the pattern is not a constant.
            sqlite3_set_auxdata(ctx, 0, made.release(), [](void* m) { delete static_cast<LongMatcher*>(m); });
            return;
        }
        const LikeMatcher& m = cache->matchers.get(p, pn, escape, [escape, cache](const std::string& pattern) {
            return cache->variants ? LikeMatcher(VariantLike::foldPattern(pattern, escape), escape)
                                   : LikeMatcher(pattern, escape);
        });
        sqlite3_result_int(ctx, m.matches(text));
    } catch (const std::bad_alloc&) {
        sqlite3_result_error_nomem(ctx);
    }
}

// like_any(text, packed patterns) / like_all(...): the OR / AND of
// "text like pattern" over the patterns, NULL when the text is NULL.
template <bool All>
void likeSetFunction(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    auto* cache = static_cast<PatternCache*>(sqlite3_user_data(ctx));
    std::string_view text;
    if (sqlite3_value_type(argv[1]) == SQLITE_NULL || !textOf(cache, argv[0], text))
        return;
    const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
    const size_t pn = size_t(sqlite3_value_bytes(argv[1]));
    if (!p) {
        sqlite3_result_error_nomem(ctx);
        return;
    }
    try {
        const LikeSet& set = cache->sets.get(p, pn, 0, [cache](const std::string& packed) {
            std::vector<std::string> patterns = LikeSet::unpack(packed);
            if (cache->variants) {
                for (std::string& pattern : patterns)
                    pattern = VariantLike::foldPattern(pattern, 0);
            }
            return LikeSet(patterns);
        });
        sqlite3_result_int(ctx, All ? set.matchesAll(text) : set.matchesAny(text));
    } catch (const std::bad_alloc&) {
        sqlite3_result_error_nomem(ctx);
    }
}

// orvanta_like_variants(on): switches the connection's LIKEs to folded (1)
// or exact (0) comparison; see setLikeVariants().
void likeVariantsFunction(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    auto* cache = static_cast<PatternCache*>(sqlite3_user_data(ctx));
    const bool on = sqlite3_value_int(argv[0]) != 0;
    if (cache->variants != on) {
        // Compiled patterns belong to one way of comparing.
        cache->variants = on;
        cache->matchers.clear();
        cache->sets.clear();
    }
    sqlite3_result_int(ctx, on);
}

} // namespace

int setLikeVariants(sqlite3* db, bool on)
{
    return sqlite3_exec(db, on ? "SELECT orvanta_like_variants(1)" : "SELECT orvanta_like_variants(0)", nullptr,
                        nullptr, nullptr);
}

int registerLikeFunction(sqlite3* db)
{
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    // One cache for both forms; SQLite destroys it with the last of them.
    auto* cache = new PatternCache;
    sqlite3_stmt* encoding = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA encoding", -1, &encoding, nullptr) == SQLITE_OK
        && sqlite3_step(encoding) == SQLITE_ROW) {
        const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(encoding, 0));
        cache->utf8Database = name && std::string_view(name) == "UTF-8";
    }
    sqlite3_finalize(encoding);
    int rc = sqlite3_create_function_v2(db, "like", 2, flags, cache, likeFunction, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        delete cache;
        return rc;
    }
    rc = sqlite3_create_function_v2(db, "like", 3, flags, cache, likeFunction, nullptr, nullptr, destroyCache);
    if (rc != SQLITE_OK) { // SQLite has destroyed the cache: the two-argument form must go too
        sqlite3_create_function_v2(db, "like", 2, flags, nullptr, nullptr, nullptr, nullptr, nullptr);
        return rc;
    }
    rc = sqlite3_create_function_v2(db, "orvanta_like_any", 2, flags, cache, likeSetFunction<false>, nullptr,
                                    nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function_v2(db, "orvanta_like_all", 2, flags, cache, likeSetFunction<true>, nullptr,
                                        nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function_v2(db, "orvanta_like_variants", 1, SQLITE_UTF8 | SQLITE_DIRECTONLY, cache,
                                        likeVariantsFunction, nullptr, nullptr, nullptr);
    return rc;
}

} // namespace Orvanta
