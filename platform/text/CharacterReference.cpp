#include "platform/text/CharacterReference.h"

#include <string_view>

namespace Orvanta {
namespace {

struct NamedEntity {
    std::u16string_view name;
    char16_t value;
};

// The entities hand-written pages use; anything rarer stays as written.
constexpr NamedEntity kEntities[] = {
    {u"amp", u'&'}, {u"lt", u'<'}, {u"gt", u'>'}, {u"quot", u'"'}, {u"apos", u'\''},
    {u"nbsp", 0x00A0}, {u"iexcl", 0x00A1}, {u"cent", 0x00A2}, {u"pound", 0x00A3},
    {u"curren", 0x00A4}, {u"yen", 0x00A5}, {u"brvbar", 0x00A6}, {u"sect", 0x00A7},
    {u"uml", 0x00A8}, {u"copy", 0x00A9}, {u"ordf", 0x00AA}, {u"laquo", 0x00AB},
    {u"not", 0x00AC}, {u"shy", 0x00AD}, {u"reg", 0x00AE}, {u"macr", 0x00AF},
    {u"deg", 0x00B0}, {u"plusmn", 0x00B1}, {u"sup2", 0x00B2}, {u"sup3", 0x00B3},
    {u"acute", 0x00B4}, {u"micro", 0x00B5}, {u"para", 0x00B6}, {u"middot", 0x00B7},
    {u"cedil", 0x00B8}, {u"sup1", 0x00B9}, {u"ordm", 0x00BA}, {u"raquo", 0x00BB},
    {u"frac14", 0x00BC}, {u"frac12", 0x00BD}, {u"frac34", 0x00BE}, {u"iquest", 0x00BF},
    {u"times", 0x00D7}, {u"divide", 0x00F7}, {u"Agrave", 0x00C0}, {u"Aacute", 0x00C1},
    {u"Auml", 0x00C4}, {u"Ccedil", 0x00C7}, {u"Eacute", 0x00C9}, {u"Ouml", 0x00D6},
    {u"Uuml", 0x00DC}, {u"szlig", 0x00DF}, {u"agrave", 0x00E0}, {u"aacute", 0x00E1},
    {u"acirc", 0x00E2}, {u"auml", 0x00E4}, {u"ccedil", 0x00E7}, {u"egrave", 0x00E8},
    {u"eacute", 0x00E9}, {u"ecirc", 0x00EA}, {u"iacute", 0x00ED}, {u"ntilde", 0x00F1},
    {u"oacute", 0x00F3}, {u"ouml", 0x00F6}, {u"uacute", 0x00FA}, {u"uuml", 0x00FC},
    {u"ensp", 0x2002}, {u"emsp", 0x2003}, {u"thinsp", 0x2009}, {u"zwnj", 0x200C},
    {u"zwj", 0x200D}, {u"ndash", 0x2013}, {u"mdash", 0x2014}, {u"lsquo", 0x2018},
    {u"rsquo", 0x2019}, {u"sbquo", 0x201A}, {u"ldquo", 0x201C}, {u"rdquo", 0x201D},
    {u"bdquo", 0x201E}, {u"dagger", 0x2020}, {u"Dagger", 0x2021}, {u"bull", 0x2022},
    {u"hellip", 0x2026}, {u"permil", 0x2030}, {u"prime", 0x2032}, {u"lsaquo", 0x2039},
    {u"rsaquo", 0x203A}, {u"euro", 0x20AC}, {u"trade", 0x2122}, {u"larr", 0x2190},
    {u"uarr", 0x2191}, {u"rarr", 0x2192}, {u"darr", 0x2193}, {u"minus", 0x2212},
    {u"le", 0x2264}, {u"ge", 0x2265}, {u"ne", 0x2260}, {u"infin", 0x221E},
    {u"alpha", 0x03B1}, {u"beta", 0x03B2}, {u"gamma", 0x03B3}, {u"delta", 0x03B4},
    {u"pi", 0x03C0}, {u"sigma", 0x03C3}, {u"omega", 0x03C9}, {u"mu", 0x03BC},
};

// The few that old pages write without the closing ";".
bool acceptedWithoutSemicolon(std::u16string_view name)
{
    return name == u"amp" || name == u"lt" || name == u"gt" || name == u"quot" || name == u"nbsp";
}

bool isAsciiAlnum(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

} // namespace

void appendCodePoint(QString& out, char32_t cp)
{
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        cp = 0xFFFD;
    if (cp >= 0x10000) {
        out += QChar(char16_t(0xD800 + ((cp - 0x10000) >> 10)));
        out += QChar(char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
        out += QChar(char16_t(cp));
    }
}

std::optional<CharacterReference> readCharacterReference(QStringView s, qsizetype i)
{
    const qsizetype n = s.size();
    qsizetype j = i + 1;
    if (j < n && s[j] == u'#') {
        ++j;
        const bool hex = j < n && (s[j] == u'x' || s[j] == u'X');
        if (hex)
            ++j;
        const qsizetype digitsStart = j;
        char32_t value = 0;
        bool overflow = false;
        while (j < n) {
            const char16_t c = s[j].unicode();
            int d = -1;
            if (c >= u'0' && c <= u'9')
                d = c - u'0';
            else if (hex && c >= u'a' && c <= u'f')
                d = c - u'a' + 10;
            else if (hex && c >= u'A' && c <= u'F')
                d = c - u'A' + 10;
            if (d < 0)
                break;
            value = value * (hex ? 16 : 10) + char32_t(d);
            if (value > 0x10FFFF)
                overflow = true, value = 0x110000;
            ++j;
        }
        if (j == digitsStart)
            return std::nullopt;
        if (j < n && s[j] == u';')
            ++j;
        const bool named = !overflow && value != 0 && !(value >= 0xD800 && value <= 0xDFFF);
        return CharacterReference{j, named ? value : char32_t(0xFFFD)};
    }
    while (j < n && isAsciiAlnum(s[j].unicode()) && j - i <= 10)
        ++j;
    const std::u16string_view name(reinterpret_cast<const char16_t*>(s.data()) + i + 1, size_t(j - i - 1));
    const bool semicolon = j < n && s[j] == u';';
    if (name.empty() || !(semicolon || acceptedWithoutSemicolon(name)))
        return std::nullopt;
    for (const NamedEntity& e : kEntities) {
        if (e.name == name)
            return CharacterReference{semicolon ? j + 1 : j, e.value};
    }
    return std::nullopt;
}

} // namespace Orvanta
