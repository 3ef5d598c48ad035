#include "platform/text/VariantFolding.h"

#include <gtest/gtest.h>
#include <unicode/uchar.h>

#include <cstdio>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

using namespace Orvanta;

namespace {

std::u32string codePoints(const std::string& utf8)
{
    std::u32string out;
    for (size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        const size_t len = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
        char32_t cp = len == 1 ? b : b & (0x7F >> len);
        for (size_t k = 1; k < len; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        out += cp;
        i += len;
    }
    return out;
}

std::u32string folded(const std::string& utf8)
{
    std::u32string out = codePoints(utf8);
    for (char32_t& c : out)
        c = VariantFolding::fold(c);
    return out;
}

// Words that old and new texts write in several forms; each row folds to one text.
const std::vector<std::vector<std::string>> mustFold = {
    {"人參", "人蔘", "人参"},
    {"鍼", "針"},
    {"脈", "脉"},
    {"藥", "葯", "药"},
    {"證", "証", "证"},
    {"黃", "黄"},
    {"當歸", "当归"},
    {"乾薑", "干姜", "幹薑"}, // over-folding kept: a simplified text writes 干 for all three
    {"\U0002009D", "众"},    // outside the BMP, folds to a BMP form (4 UTF-8 bytes to 3)
    {"\u212A", "K", "k"},    // the Kelvin sign folds by case alone
    {"Ω", "ω", "\u2126"},
};

// Look-alikes and ASCII that must stay apart.
const std::vector<std::pair<std::string, std::string>> mustNotFold = {
    {"人", "入"}, {"日", "曰"}, {"己", "已"}, {"未", "末"}, {"大", "太"}, {"甘", "廿"},
    {"%", "％"}, {"_", "＿"}, {"'", "’"}, {"A", "Ａ"}, {"ss", "ß"}, {"參", "三"},
};

} // namespace

TEST(VariantFolding, FormsOfOneWordFoldToOneText)
{
    for (const auto& forms : mustFold) {
        for (const std::string& form : forms) {
            EXPECT_EQ(folded(form), folded(forms.front())) << form << " / " << forms.front();
            EXPECT_EQ(folded(form).size(), codePoints(form).size()) << form;
        }
    }
}

TEST(VariantFolding, LookAlikesAndAsciiStayApart)
{
    for (const auto& [a, b] : mustNotFold)
        EXPECT_NE(folded(a), folded(b)) << a << " / " << b;
    // ASCII folds by case alone: "%", "_" and the apostrophe stay themselves.
    for (char32_t c = 0; c < 0x80; ++c)
        EXPECT_EQ(VariantFolding::fold(c), char32_t(u_foldCase(UChar32(c), U_FOLD_CASE_DEFAULT))) << int(c);
    EXPECT_EQ(VariantFolding::fold(0x110000 + 0xE4), char32_t(0x110000 + 0xE4)); // a byte that is no character
}

TEST(VariantFolding, TableIsOneRepresentativePerClass)
{
    const auto table = VariantFolding::table();
    ASSERT_GT(table.size(), 5000u);
    std::map<char32_t, size_t> classSize;
    char32_t previous = 0;
    for (const auto& [c, rep] : table) {
        EXPECT_LT(previous, c) << "sorted, one entry a character";
        previous = c;
        EXPECT_NE(c, rep);
        EXPECT_EQ(VariantFolding::fold(c), rep);
        EXPECT_EQ(VariantFolding::fold(rep), rep) << "a representative folds to itself";
        EXPECT_EQ(char32_t(u_foldCase(UChar32(rep), U_FOLD_CASE_DEFAULT)), rep);
        ++classSize[rep];
    }
    std::map<size_t, size_t> sizes;
    for (const auto& [rep, others] : classSize)
        ++sizes[others + 1];
    std::ostringstream line;
    for (const auto& [size, count] : sizes)
        line << ' ' << size << ':' << count;
    std::printf("variant classes by size (members:classes):%s\n", line.str().c_str());
    std::printf("made from: %s\n", VariantFolding::dataVersions());
    EXPECT_NE(std::string(VariantFolding::dataVersions()).find("libopencc-data"), std::string::npos);
    EXPECT_NE(std::string(VariantFolding::dataVersions()).find("unicode-data"), std::string::npos);
    // The classes stay small: a chain through loose variants would join
    // unrelated characters into one large class.
    EXPECT_LE(sizes.rbegin()->first, 12u);
}

// Closed under the relation: every semantic and Z variant the installed
// Unihan data lists folds with its character, however the chain runs.
TEST(VariantFolding, EveryUnihanSemanticAndZVariantFoldsTogether)
{
    std::unique_ptr<FILE, int (*)(FILE*)> in(popen("bzcat /usr/share/unicode/Unihan_Variants.txt.bz2", "r"), pclose);
    ASSERT_TRUE(in);
    char buffer[4096];
    size_t checked = 0;
    while (std::fgets(buffer, sizeof buffer, in.get())) {
        std::istringstream fields(buffer);
        std::string from, field, value;
        fields >> from >> field;
        if (from.rfind("U+", 0) != 0 || (field != "kSemanticVariant" && field != "kZVariant"))
            continue;
        const auto a = char32_t(std::stoul(from.substr(2), nullptr, 16));
        while (fields >> value) {
            const auto b = char32_t(std::stoul(value.substr(2), nullptr, 16));
            EXPECT_EQ(VariantFolding::fold(a), VariantFolding::fold(b)) << from << " " << value;
            ++checked;
        }
    }
    EXPECT_GT(checked, 4000u);
}
