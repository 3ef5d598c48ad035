// Build-time program: reads the character variant data the distribution ships
// and writes the folding table that VariantFolding.cpp compiles in.
//
// Why at build time: reading both OpenCC character tables and the Unihan
// variants (a bzip2 file) and closing the classes takes tens of
// milliseconds, every program start, and would make the installed data a
// run-time dependency; the closed table is about 60 KB of constants.
//
//   VariantTableMaker STCharacters.ocd2 TSCharacters.ocd2 Unihan_Variants.txt.bz2
//                     "<versions>" <output.inc> [--stats]
//
// Relations joined into classes (union-find, so A~B and B~C put A, B, C in
// one class):
//   - every pair key -> candidate of both OpenCC character tables (never the
//     phrase tables: one character always maps to one character);
//   - kSemanticVariant and kZVariant of Unihan (not the specialized semantic
//     or spoofing variants: those share a meaning only in some uses, or only
//     look alike);
//   - Unicode simple case folding, as the LIKE of the database uses it.
// ASCII takes part only through case folding, so that "%" and "_" and every
// other ASCII punctuation stay alone.
// Each class is written as its members and one representative: the smallest
// member that is its own case fold (so that a BMP form wins over a form
// outside the BMP, and the representative folds to itself).
#include <opencc/Lexicon.hpp>
#include <opencc/MarisaDict.hpp>

#include <bzlib.h>
#include <unicode/uchar.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct UnionFind {
    std::vector<char32_t> parent = std::vector<char32_t>(0x110000);
    UnionFind() { std::iota(parent.begin(), parent.end(), char32_t(0)); }
    char32_t find(char32_t c)
    {
        while (parent[c] != c) {
            parent[c] = parent[parent[c]];
            c = parent[c];
        }
        return c;
    }
    void join(char32_t a, char32_t b)
    {
        if (a < 0x80 || b < 0x80 || a > 0x10FFFF || b > 0x10FFFF)
            return;
        a = find(a);
        b = find(b);
        if (a != b)
            parent[std::max(a, b)] = std::min(a, b);
    }
};

// The one code point of a UTF-8 string, or 0 when it is not exactly one.
char32_t single(const std::string& s)
{
    const auto* b = reinterpret_cast<const unsigned char*>(s.data());
    const size_t n = s.size();
    if (n == 0)
        return 0;
    const size_t len = b[0] < 0x80 ? 1 : b[0] >= 0xF0 ? 4 : b[0] >= 0xE0 ? 3 : 2;
    if (len != n)
        return 0;
    char32_t cp = len == 1 ? b[0] : b[0] & (0x7F >> len);
    for (size_t k = 1; k < len; ++k)
        cp = (cp << 6) | (b[k] & 0x3F);
    return cp;
}

size_t readOpenCC(const char* path, UnionFind& uf)
{
    FILE* f = std::fopen(path, "rb");
    if (!f)
        throw std::runtime_error(std::string("cannot open ") + path);
    const opencc::MarisaDictPtr dict = opencc::MarisaDict::NewFromFile(f);
    std::fclose(f);
    size_t pairs = 0;
    for (const auto& entry : *dict->GetLexicon()) {
        const char32_t key = single(entry->Key());
        if (!key)
            continue;
        for (const std::string& value : entry->Values()) {
            if (const char32_t v = single(value)) {
                uf.join(key, v);
                ++pairs;
            }
        }
    }
    return pairs;
}

std::string readBzip2(const char* path)
{
    FILE* f = std::fopen(path, "rb");
    if (!f)
        throw std::runtime_error(std::string("cannot open ") + path);
    int error = BZ_OK;
    BZFILE* bz = BZ2_bzReadOpen(&error, f, 0, 0, nullptr, 0);
    std::string text;
    char buffer[1 << 16];
    while (error == BZ_OK) {
        const int n = BZ2_bzRead(&error, bz, buffer, sizeof buffer);
        if (n > 0)
            text.append(buffer, size_t(n));
    }
    BZ2_bzReadClose(&error, bz);
    std::fclose(f);
    return text;
}

size_t readUnihan(const char* path, UnionFind& uf, std::string& date)
{
    std::istringstream lines(readBzip2(path));
    std::string line;
    size_t pairs = 0;
    while (std::getline(lines, line)) {
        if (line.rfind("# Date:", 0) == 0)
            date = line.substr(8);
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        std::string from, field, value;
        fields >> from >> field;
        if (field != "kSemanticVariant" && field != "kZVariant")
            continue;
        const char32_t a = char32_t(std::stoul(from.substr(2), nullptr, 16));
        while (fields >> value) {
            // "U+4E7E<kMorohashi:T": the code point, then its sources.
            const char32_t b = char32_t(std::stoul(value.substr(2), nullptr, 16));
            uf.join(a, b);
            ++pairs;
        }
    }
    return pairs;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 6) {
        std::cerr << "usage: VariantTableMaker ST.ocd2 TS.ocd2 Unihan_Variants.txt.bz2 versions output [--stats]\n";
        return 2;
    }
    try {
        UnionFind uf;
        const size_t st = readOpenCC(argv[1], uf);
        const size_t ts = readOpenCC(argv[2], uf);
        std::string unihanDate;
        const size_t unihan = readUnihan(argv[3], uf, unihanDate);
        for (UChar32 c = 0x80; c <= 0x10FFFF; ++c) {
            const UChar32 f = u_foldCase(c, U_FOLD_CASE_DEFAULT);
            if (f != c)
                uf.join(char32_t(c), char32_t(f));
        }
        // ASCII letters join their classes through the non-ASCII forms that
        // fold to them (K, the Kelvin sign): the LIKE folds ASCII case by
        // itself, so those few classes need no ASCII member here.

        std::map<char32_t, std::vector<char32_t>> classes;
        // The root of a class is its smallest member, so it comes first.
        for (char32_t c = 0x80; c <= 0x10FFFF; ++c) {
            const char32_t root = uf.find(c);
            if (root != c)
                classes[root].push_back(c);
        }
        for (auto& [root, members] : classes)
            members.insert(members.begin(), root);
        std::vector<std::pair<char32_t, char32_t>> pairs; // member -> representative
        std::map<size_t, size_t> sizes;
        size_t largest = 0;
        char32_t largestRoot = 0;
        for (auto& [root, members] : classes) {
            if (members.size() < 2)
                continue;
            char32_t rep = 0;
            for (char32_t m : members) {
                if (char32_t(u_foldCase(UChar32(m), U_FOLD_CASE_DEFAULT)) == m) {
                    rep = m;
                    break;
                }
            }
            if (!rep)
                rep = members.front();
            for (char32_t m : members)
                if (m != rep)
                    pairs.emplace_back(m, rep);
            ++sizes[members.size()];
            if (members.size() > largest) {
                largest = members.size();
                largestRoot = root;
            }
        }
        std::sort(pairs.begin(), pairs.end());

        std::ofstream out(argv[5]);
        out << "// Made by VariantTableMaker at build time; do not edit.\n";
        out << "// Pairs read: " << st << " + " << ts << " from the OpenCC character tables, " << unihan
            << " Unihan semantic and Z variants (" << unihanDate << "), and simple case folding.\n";
        out << "static constexpr const char* kVariantDataVersions = \"" << argv[4] << "\";\n";
        out << "static constexpr std::pair<char32_t, char32_t> kVariantPairs[] = {\n";
        for (const auto& [c, rep] : pairs)
            out << "{0x" << std::hex << uint32_t(c) << ",0x" << uint32_t(rep) << std::dec << "},\n";
        out << "};\n";
        if (!out)
            throw std::runtime_error(std::string("cannot write ") + argv[5]);

        if (argc > 6 && std::strcmp(argv[6], "--stats") == 0) {
            std::cout << "classes by size:";
            for (auto [size, count] : sizes)
                std::cout << ' ' << size << ':' << count;
            std::cout << "\nlargest class (" << largest << "):";
            for (char32_t m : classes[largestRoot])
                std::cout << " U+" << std::hex << uint32_t(m) << std::dec;
            std::cout << "\nmapped characters: " << pairs.size() << '\n';
        }
    } catch (const std::exception& e) {
        std::cerr << "VariantTableMaker: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
