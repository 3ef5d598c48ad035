#include "platform/db/SqliteFunctions.h"

#include "platform/db/LikeMatcher.h"

#include <sqlite3.h>

#include <string_view>

namespace Orvanta {

namespace {

void destroyMatcher(void* p)
{
    delete static_cast<LikeMatcher*>(p);
}

// like(pattern, text [, escape]): SQLite passes the pattern first.
void likeFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return; // NULL: never a match
    char32_t escape = 0;
    if (argc == 3) {
        if (sqlite3_value_type(argv[2]) == SQLITE_NULL)
            return;
        const auto* e = sqlite3_value_text(argv[2]);
        const int bytes = sqlite3_value_bytes(argv[2]);
        const std::u32string wide = [&] {
            std::u32string out;
            // A one-character escape: decode it through the matcher's own rules.
            for (int i = 0; i < bytes;) {
                unsigned b = e[i];
                int len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
                char32_t cp = len == 1 ? b : b & (0x7F >> len);
                for (int k = 1; k < len && i + k < bytes; ++k)
                    cp = (cp << 6) | (e[i + k] & 0x3F);
                out.push_back(cp);
                i += len;
            }
            return out;
        }();
        if (wide.size() != 1) {
            sqlite3_result_error(ctx, "ESCAPE expression must be a single character", -1);
            return;
        }
        escape = wide[0];
    }

    auto* matcher = static_cast<LikeMatcher*>(sqlite3_get_auxdata(ctx, 0));
    if (!matcher || matcher->escape() != escape) {
        const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
        const int n = sqlite3_value_bytes(argv[0]);
        matcher = new LikeMatcher(std::string_view(p ? p : "", size_t(n)), escape);
        // SQLite keeps it for the next rows while the pattern is a constant,
        // and destroys it (possibly at once) otherwise.
        sqlite3_set_auxdata(ctx, 0, matcher, destroyMatcher);
        matcher = static_cast<LikeMatcher*>(sqlite3_get_auxdata(ctx, 0));
        if (!matcher) {
            const auto* p2 = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
            const int n2 = sqlite3_value_bytes(argv[0]);
            const auto* t = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
            const int m = sqlite3_value_bytes(argv[1]);
            sqlite3_result_int(ctx, LikeMatcher::match(std::string_view(p2 ? p2 : "", size_t(n2)),
                                                       std::string_view(t ? t : "", size_t(m)), escape));
            return;
        }
    }
    const auto* t = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
    const int m = sqlite3_value_bytes(argv[1]);
    sqlite3_result_int(ctx, matcher->matches(std::string_view(t ? t : "", size_t(m))));
}

} // namespace

int registerLikeFunction(sqlite3* db)
{
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    int rc = sqlite3_create_function_v2(db, "like", 2, flags, nullptr, likeFunction, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function_v2(db, "like", 3, flags, nullptr, likeFunction, nullptr, nullptr, nullptr);
    return rc;
}

} // namespace Orvanta
