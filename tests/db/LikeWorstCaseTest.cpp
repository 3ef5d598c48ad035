// Patterns built to make a LIKE slow -- thousands of "_", of "%", of both in
// turn, long literal runs between them, escaped wildcards -- against long
// texts: each must simply finish, with the right answer. Then the matcher
// against a plain dynamic-programming reference on random patterns and texts
// over a small alphabet (CJK, a character beyond the BMP, letters with other
// case forms, bytes that are no character), long enough to reach the
// automaton's multi-word states and the hand-over from the quick searches.
#include "DbTestSupport.h"

#include "platform/collection/Connection.h"
#include "platform/sql/LikeMatcher.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QtGlobal>

#include <random>
#include <string>
#include <vector>

using namespace Orvanta;

namespace {

std::string repeat(const std::string& s, size_t times)
{
    std::string out;
    out.reserve(s.size() * times);
    for (size_t i = 0; i < times; ++i)
        out += s;
    return out;
}

struct HostileCase {
    const char* what;
    std::string pattern;
    std::string text;
    bool matches;
    char32_t escape = 0;
};

std::vector<HostileCase> hostileCases()
{
    const std::string a200k = repeat("a", 200000);
    const std::string cjk200k = repeat("人參", 100000);
    const std::string xa = repeat("xa", 100000);
    return {
        // A word of "_" alone is a length test.
        {"20,000 _ in a longer text", "%" + repeat("_", 20000) + "%", cjk200k, true},
        {"200,000 _ in a text one shorter", "%" + repeat("_", 200000) + "%", cjk200k.substr(3), false},
        {"200,000 _ exactly", repeat("_", 200000), cjk200k, true},
        {"200,001 _ exactly", repeat("_", 200001), cjk200k, false},
        // A letter among the "_": every place of it is a false start.
        {"x then 100,000 _ then y", "%x" + repeat("_", 100000) + "y%", xa, false},
        {"x then 20,000 _ then x", "%x" + repeat("_", 19999) + "x%", xa, true},
        {"a_ 50,000 times then b", "%" + repeat("a_", 50000) + "b%", a200k, false},
        {"a_ 10,000 times", "%" + repeat("a_", 10000) + "%", a200k, true},
        {"_ then a 10,000 times, anchored at the end", "%" + repeat("_a", 10000), a200k, true},
        // Many "%".
        {"%a 20,000 times then b", repeat("%a", 20000) + "%b", a200k, false},
        {"%_ 100,000 times", repeat("%_", 100000) + "%", cjk200k, true},
        {"%_ 200,001 times", repeat("%_", 200001) + "%", cjk200k, false},
        // "_" and "%" in turn.
        {"_% 30,000 times", repeat("_%", 30000), cjk200k, true},
        {"%_%__ 50,000 times", repeat("%_%__", 50000) + "%", a200k, true},
        {"%_%__ 70,000 times", repeat("%_%__", 70000) + "%", a200k, false},
        {"30,000 _ seven times between %", "%" + repeat(repeat("_", 30000) + "%", 7), cjk200k, false},
        {"100,000 _ four times between %", "%" + repeat(repeat("_", 100000) + "%", 4), cjk200k + cjk200k.substr(3), false},
        {"100,000 _ four times between % and a letter", "%" + repeat(repeat("_", 100000) + "%", 4) + "參",
         cjk200k + cjk200k.substr(3), false},
        // Long literal runs between "_" and "%".
        {"long literal runs around _", "%" + repeat(repeat("人參", 500) + "__", 20) + "x%", cjk200k, false},
        {"long literal runs around _, found", "%" + repeat(repeat("人參", 500) + "__", 20) + "人%", cjk200k, true},
        {"long literal runs around _, out of step", "%" + repeat(repeat("人參", 500) + "_", 2) + "%", cjk200k, false},
        {"a folded literal of 5,000 with one miss", "%" + repeat("A", 5000) + "b%", a200k, false},
        {"a folded literal run between %", repeat("%" + repeat("A", 3000), 60) + "%", a200k, true},
        // Escaped wildcards are letters like any other.
        {"10,000 escaped _ then one _ then b", "%" + repeat("\\_", 10000) + "_b%", repeat("_", 200000), false, U'\\'},
        {"10,000 escaped _ then one _", "%" + repeat("\\_", 10000) + "_%", repeat("_", 200000), true, U'\\'},
        {"escaped % and _ in turn", "%" + repeat("\\%\\__", 5000) + "y%", repeat("%_z", 60000), false, U'\\'},
    };
}

TEST(LikeWorstCase, HostilePatternsFinish)
{
    for (const HostileCase& c : hostileCases()) {
        EXPECT_EQ(LikeMatcher::match(c.pattern, c.text, c.escape), c.matches) << c.what;
    }
}

// Long patterns keep their compiled form with the statement: a pattern that
// changes from row to row, two long patterns in one statement and an escape
// must each be read as themselves.
TEST(LikeWorstCase, LongPatternsThroughSql)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("long.sqlite"));
    std::vector<std::pair<std::string, std::string>> rows; // pattern, content
    for (int i = 0; i < 12; ++i) {
        const std::string content = repeat("人", 4000 + 100 * size_t(i % 4)) + (i % 3 ? "x_" : "y%");
        const std::string pattern = "%" + repeat("_", 4150 + 50 * size_t(i % 3)) + (i % 2 ? "%" : "_");
        rows.emplace_back(pattern, content);
    }
    {
        DbTest::SqliteFile file(path);
        file.exec("CREATE TABLE t(id INTEGER PRIMARY KEY, pattern TEXT, content TEXT)");
        for (size_t i = 0; i < rows.size(); ++i)
            file.insertText("INSERT INTO t VALUES(?1, ?2, ?3)", qint64(i), rows[i].first.c_str(),
                            rows[i].second.c_str(), nullptr, nullptr, 2);
    }
    Connection connection;
    connection.open(DbTest::connectionStringFor(path));
    auto ids = [&](const std::string& condition) {
        Recordset rs;
        rs.open(QStringLiteral("select id from t where %1 order by id").arg(QString::fromStdString(condition)),
                connection);
        std::vector<int> out;
        for (qsizetype r = 0; rs.rows() && r < rs.rows()->rowCount(); ++r)
            out.push_back(rs.rows()->cellText(r, 0).toInt());
        return out;
    };
    auto expected = [&](auto accepts) {
        std::vector<int> out;
        for (size_t i = 0; i < rows.size(); ++i) {
            if (accepts(rows[i]))
                out.push_back(int(i));
        }
        return out;
    };

    EXPECT_EQ(ids("content like pattern"),
              expected([](const auto& r) { return LikeMatcher::match(r.first, r.second); }));

    const std::string longA = "%" + repeat("_", 4190) + "x_";
    const std::string longB = "%" + repeat("_", 4090) + "y!%";
    EXPECT_EQ(ids("content like '" + longA + "' or content like '" + longB + "' escape '!'"),
              expected([&](const auto& r) {
                  return LikeMatcher::match(longA, r.second) || LikeMatcher::match(longB, r.second, U'!');
              }));
    EXPECT_FALSE(expected([&](const auto& r) { return LikeMatcher::match(longA, r.second); }).empty());
    EXPECT_FALSE(expected([&](const auto& r) { return LikeMatcher::match(longB, r.second, U'!'); }).empty());
}

// ---------------------------------------------------------------- reference

std::vector<char32_t> characters(const std::string& s)
{
    std::vector<char32_t> out;
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const auto* end = p + s.size();
    while (p < end) {
        const unsigned b = *p;
        int len = 1;
        char32_t cp = 0x110000 + b;
        auto cont = [&](int i) { return p + i < end && (p[i] & 0xC0) == 0x80; };
        if (b < 0x80) {
            cp = b;
        } else if (b >= 0xC2 && b <= 0xDF && cont(1)) {
            cp = ((b & 0x1F) << 6) | (p[1] & 0x3F);
            len = 2;
        } else if (b >= 0xE0 && b <= 0xEF && cont(1) && cont(2)) {
            const char32_t c = ((b & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F);
            if (c >= 0x800 && (c < 0xD800 || c > 0xDFFF)) {
                cp = c;
                len = 3;
            }
        } else if (b >= 0xF0 && b <= 0xF4 && cont(1) && cont(2) && cont(3)) {
            const char32_t c = ((b & 0x07) << 18) | ((p[1] & 0x3F) << 12) | ((p[2] & 0x3F) << 6) | (p[3] & 0x3F);
            if (c >= 0x10000 && c <= 0x10FFFF) {
                cp = c;
                len = 4;
            }
        }
        out.push_back(cp);
        p += len;
    }
    return out;
}

// can[j]: the pattern read so far matches the first j characters of the text.
bool referenceLike(const std::string& pattern, const std::string& text, char32_t escape)
{
    const auto p = characters(pattern);
    const auto t = characters(text);
    std::vector<bool> can(t.size() + 1, false), next(t.size() + 1);
    can[0] = true;
    for (size_t i = 0; i < p.size(); ++i) {
        char32_t pc = p[i];
        bool literal = false;
        if (escape != 0 && pc == escape && i + 1 < p.size()) {
            pc = p[++i];
            literal = true;
        }
        std::fill(next.begin(), next.end(), false);
        if (!literal && pc == U'%') {
            bool any = false;
            for (size_t j = 0; j <= t.size(); ++j) {
                any = any || can[j];
                next[j] = any;
            }
        } else {
            for (size_t j = 0; j < t.size(); ++j) {
                if (can[j] && ((!literal && pc == U'_') || foldCase(pc) == foldCase(t[j])))
                    next[j + 1] = true;
            }
        }
        can.swap(next);
    }
    return can[t.size()];
}

// More rounds on request: ORVANTA_LIKE_ROUNDS=200000 test_db --gtest_filter=LikeWorstCase.*
int rounds()
{
    const int asked = qEnvironmentVariableIntValue("ORVANTA_LIKE_ROUNDS");
    return asked > 0 ? asked : 4000;
}

struct RandomShape {
    const char* what;
    std::vector<std::string> patternAlphabet;
    std::vector<std::string> textAlphabet;
    size_t maxPattern;
    size_t maxText;
};

TEST(LikeWorstCase, AgreesWithAPlainReference)
{
    const std::vector<std::string> letters{"a", "A", "k", "K", "\u212A", "s", "ſ", "σ", "Σ", "ς", "人", "參",
                                           "\U00020000", "\xE4", "\xBA"};
    auto with = [&](std::vector<std::string> extra) {
        extra.insert(extra.end(), letters.begin(), letters.end());
        return extra;
    };
    const RandomShape shapes[] = {
        // Every kind of segment, short.
        {"short", with({"%", "_", "_", "\\", "\\"}), letters, 24, 40},
        // Many "_" with few letters: long automaton states, many false starts.
        {"mostly _", {"_", "_", "_", "_", "_", "_", "%", "a", "人", "\U00020000", "\\"}, {"a", "A", "人", "\U00020000"},
         150, 400},
        // Few letters, long texts: the quick searches run out of allowance.
        {"near misses", {"a", "a", "a", "a", "K", "_", "%"}, {"a", "A", "k", "\u212A"}, 90, 1500},
        // Long literal segments beyond the quick search.
        {"long literals", {"a", "a", "a", "A", "人", "%", "\xE4"}, {"a", "A", "人", "\xE4", "\xBA"}, 200, 600},
    };
    std::mt19937 random(20261211);
    for (const RandomShape& shape : shapes) {
        for (int round = 0; round < rounds(); ++round) {
            auto make = [&](const std::vector<std::string>& alphabet, size_t maxLength) {
                std::string s;
                const size_t length = random() % (maxLength + 1);
                for (size_t i = 0; i < length; ++i)
                    s += alphabet[random() % alphabet.size()];
                return s;
            };
            const std::string pattern = make(shape.patternAlphabet, shape.maxPattern);
            const std::string text = make(shape.textAlphabet, shape.maxText);
            const char32_t escape = round % 2 ? U'\\' : 0;
            ASSERT_EQ(LikeMatcher::match(pattern, text, escape), referenceLike(pattern, text, escape))
                << shape.what << ": pattern [" << pattern << "] text [" << text << "] escape " << uint32_t(escape);
        }
    }
}

} // namespace
