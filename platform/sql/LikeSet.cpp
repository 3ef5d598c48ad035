#include "platform/sql/LikeSet.h"

#include "platform/sql/LikeMatcher.h"
#include "platform/sql/Utf8Reading.h"

#include <unicode/uchar.h>

#include <unordered_map>

namespace Orvanta {

namespace {

using Utf8Reading::Decoded;
using Utf8Reading::InvalidBase;
using Utf8Reading::decode;

inline char32_t fold(char32_t c)
{
    if (c >= InvalidBase)
        return c;
    if (c < 0x80)
        return c >= 'A' && c <= 'Z' ? c + 32 : c;
    return foldCase(c);
}

} // namespace

struct LikeSet::Compiled {
    // Automaton over folded characters for the "%word%" patterns.
    struct Node {
        int fail = 0;
        int word = -1;      // the word ending here
        int nextOutput = -1; // nearest node on the failure chain that ends a word
    };
    std::vector<Node> nodes{Node()};
    std::unordered_map<uint64_t, int> edges; // (node << 32 | character) -> node
    int words = 0;
    bool everything = false;              // a pattern of "%" only
    std::vector<LikeMatcher> others;      // every other pattern
    // The first "%word%" patterns once more, on their own: an AND over many
    // words mostly fails on its first word, and a byte search finds that out
    // faster than the automaton.
    std::vector<LikeMatcher> firstWords;

    int child(int node, char32_t c) const
    {
        auto it = edges.find((uint64_t(node) << 32) | c);
        return it == edges.end() ? -1 : it->second;
    }

    int step(int node, char32_t c) const
    {
        for (;;) {
            const int next = child(node, c);
            if (next >= 0)
                return next;
            if (node == 0)
                return 0;
            node = nodes[node].fail;
        }
    }

    void addWord(std::string_view literal)
    {
        const auto* p = reinterpret_cast<const unsigned char*>(literal.data());
        const auto* end = p + literal.size();
        int node = 0;
        while (p < end) {
            const Decoded d = decode(p, end);
            p += d.len;
            const char32_t c = fold(d.cp);
            int next = child(node, c);
            if (next < 0) {
                next = int(nodes.size());
                nodes.emplace_back();
                edges.emplace((uint64_t(node) << 32) | c, next);
            }
            node = next;
        }
        if (nodes[node].word < 0)
            nodes[node].word = words++;
    }

    void link()
    {
        // Breadth first: a node's failure target is always shallower.
        std::vector<std::vector<std::pair<char32_t, int>>> children(nodes.size());
        for (const auto& [key, node] : edges)
            children[size_t(key >> 32)].emplace_back(char32_t(key & 0xFFFFFFFFu), node);
        std::vector<int> queue{0};
        for (size_t i = 0; i < queue.size(); ++i) {
            const int parent = queue[i];
            for (const auto& [c, node] : children[size_t(parent)]) {
                nodes[node].fail = parent == 0 ? 0 : step(nodes[parent].fail, c);
                const Node& f = nodes[nodes[node].fail];
                nodes[node].nextOutput = f.word >= 0 ? nodes[node].fail : f.nextOutput;
                queue.push_back(node);
            }
        }
    }
};

LikeSet::LikeSet(const std::vector<std::string>& patterns) : m_compiled(std::make_unique<Compiled>())
{
    Compiled& c = *m_compiled;
    for (const std::string& p : patterns) {
        LikeMatcher matcher(p);
        switch (matcher.shape()) {
        case LikeMatcher::Shape::Everything:
            c.everything = true;
            break;
        case LikeMatcher::Shape::Contains: {
            std::string literal;
            for (char ch : p) {
                if (ch != '%')
                    literal += ch;
            }
            c.addWord(literal);
            if (c.firstWords.size() < 2)
                c.firstWords.push_back(std::move(matcher));
            break;
        }
        default:
            c.others.push_back(std::move(matcher));
            break;
        }
    }
    c.link();
}

namespace {

// Runs the text through the automaton a character at a time, handing each
// node reached to `reached`; stops with true as soon as that returns true.
template <typename Automaton, typename Reached>
bool walk(const Automaton& c, std::string_view text, Reached reached)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    int node = 0;
    while (p < end) {
        const Decoded d = decode(p, end);
        p += d.len;
        node = c.step(node, fold(d.cp));
        if (reached(node))
            return true;
    }
    return false;
}

} // namespace

LikeSet::~LikeSet() = default;
LikeSet::LikeSet(LikeSet&&) noexcept = default;
LikeSet& LikeSet::operator=(LikeSet&&) noexcept = default;

bool LikeSet::matchesAny(std::string_view textView) const
{
    const Compiled& c = *m_compiled;
    if (c.everything)
        return true;
    for (const LikeMatcher& m : c.others) {
        if (m.matches(textView))
            return true;
    }
    if (c.words == 0)
        return false;
    return walk(c, textView, [&](int node) { return c.nodes[node].word >= 0 || c.nodes[node].nextOutput >= 0; });
}

bool LikeSet::matchesAll(std::string_view textView) const
{
    const Compiled& c = *m_compiled;
    for (const LikeMatcher& m : c.others) {
        if (!m.matches(textView))
            return false;
    }
    if (c.words == 0)
        return true;
    for (const LikeMatcher& m : c.firstWords) {
        if (!m.matches(textView))
            return false;
    }
    std::vector<bool> found(size_t(c.words), false);
    int missing = c.words;
    return walk(c, textView, [&](int node) {
        for (int o = c.nodes[node].word >= 0 ? node : c.nodes[node].nextOutput; o >= 0; o = c.nodes[o].nextOutput) {
            const int w = c.nodes[o].word;
            if (!found[size_t(w)]) {
                found[size_t(w)] = true;
                if (--missing == 0)
                    return true;
            }
        }
        return false;
    });
}

std::string LikeSet::pack(const std::vector<std::string>& patterns)
{
    std::string out;
    for (size_t i = 0; i < patterns.size(); ++i) {
        if (i > 0)
            out += '|';
        for (char ch : patterns[i]) {
            if (ch == '|' || ch == '\\')
                out += '\\';
            out += ch;
        }
    }
    return out;
}

std::vector<std::string> LikeSet::unpack(std::string_view packed)
{
    std::vector<std::string> out(1);
    for (size_t i = 0; i < packed.size(); ++i) {
        const char ch = packed[i];
        if (ch == '\\' && i + 1 < packed.size())
            out.back() += packed[++i];
        else if (ch == '|')
            out.emplace_back();
        else
            out.back() += ch;
    }
    return out;
}

} // namespace Orvanta
