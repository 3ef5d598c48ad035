#include "platform/sql/LikeMatcher.h"
#include "platform/sql/LikeSet.h"

#include <gtest/gtest.h>

#include <random>

using namespace Orvanta;

TEST(LikeSet, PackingRoundTrips)
{
    const std::vector<std::string> patterns{"%a|b%", "\\\\", "", "%|%", "x\\|y", "人參"};
    EXPECT_EQ(LikeSet::unpack(LikeSet::pack(patterns)), patterns);
}

// Every answer of a set equals the OR / AND of its patterns one by one.
TEST(LikeSet, AgreesWithTheMatcherOneByOne)
{
    const std::vector<std::string> pool{
        "%人參%", "%甘草%", "%ginseng%", "%ROOT%", "%it's%", "%%", "%參湯%", "%參%", "%湯方%", "人%", "%a_b%",
        "%ß%", "%σ%", "%k%", "%龍骨尾%", "%草二%", "%二兩%", "%x%", "%xx%", "%xxx%", "%人參 甘草%", "%　%"};
    const std::vector<std::string> texts{
        "", "人參湯方：人參、甘草", "Ginseng root, it's sweet.", "太陽病，項背強几几，甘草二兩", "aXb ẞ ς K",
        "xxxx", "人參 甘草", "人參　甘草", "龍龍骨骨尾龍骨尾", "ſ", "no match here"};
    std::mt19937 random(7);
    for (int round = 0; round < 400; ++round) {
        std::vector<std::string> patterns;
        const size_t count = round % 12;
        for (size_t i = 0; i < count; ++i)
            patterns.push_back(pool[random() % pool.size()]);
        const LikeSet set(patterns);
        for (const std::string& text : texts) {
            bool any = false, all = true;
            for (const std::string& p : patterns) {
                const bool m = LikeMatcher::match(p, text);
                any = any || m;
                all = all && m;
            }
            ASSERT_EQ(set.matchesAny(text), any) << "round " << round << " text " << text;
            ASSERT_EQ(set.matchesAll(text), all) << "round " << round << " text " << text;
        }
    }
}

TEST(LikeSet, Forty_thousand_words)
{
    std::vector<std::string> words;
    for (int i = 0; i < 40000; ++i)
        words.push_back("%詞" + std::to_string(i) + "號%");
    const LikeSet set(words);
    EXPECT_TRUE(set.matchesAny("前文詞39999號後文"));
    EXPECT_FALSE(set.matchesAny("前文詞40000號後文"));
    EXPECT_FALSE(set.matchesAll("前文詞39999號後文"));
    std::string everything;
    for (int i = 0; i < 40000; ++i)
        everything += "詞" + std::to_string(i) + "號 ";
    EXPECT_TRUE(set.matchesAll(everything));
}

TEST(LikeSet, AgreesOnRandomPatternsAndTexts)
{
    const std::vector<std::string> alphabet{"a", "A", "s", "ſ", "K", "k", "ß", "ẞ", "人", "參", "%", "_",
                                            "\xE4", "\xBA", "σ", "ς", " "};
    std::mt19937 random(99);
    auto make = [&](size_t maxLength) {
        std::string s;
        const size_t length = random() % (maxLength + 1);
        for (size_t i = 0; i < length; ++i)
            s += alphabet[random() % alphabet.size()];
        return s;
    };
    for (int round = 0; round < 3000; ++round) {
        std::vector<std::string> patterns;
        const size_t count = 1 + random() % 8;
        for (size_t i = 0; i < count; ++i)
            patterns.push_back(random() % 4 ? "%" + make(3) + "%" : make(4));
        const LikeSet set(patterns);
        for (int k = 0; k < 5; ++k) {
            const std::string text = make(16);
            bool any = false, all = true;
            for (const std::string& p : patterns) {
                const bool m = LikeMatcher::match(p, text);
                any = any || m;
                all = all && m;
            }
            ASSERT_EQ(set.matchesAny(text), any) << text;
            ASSERT_EQ(set.matchesAll(text), all) << text;
        }
    }
}
