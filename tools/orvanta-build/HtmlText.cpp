#include "tools/orvanta-build/HtmlText.h"

#include <algorithm>
#include <string_view>

namespace Orvanta::Build {
namespace {

char16_t lowerAscii(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? char16_t(c - u'A' + u'a') : c;
}

bool isAsciiSpace(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f' || c == u'\v';
}

// No-break spaces render as spaces, so they separate words like one.
bool isCollapsibleSpace(char16_t c)
{
    return isAsciiSpace(c) || c == 0x00A0;
}

bool isAsciiAlpha(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool isAsciiAlnum(char16_t c)
{
    return isAsciiAlpha(c) || (c >= u'0' && c <= u'9');
}

// Position of `needle` (lower-case ASCII) in `hay` from `from`, ignoring ASCII
// letter case; -1 when absent.
qsizetype findNoCase(QStringView hay, std::u16string_view needle, qsizetype from)
{
    const qsizetype n = qsizetype(needle.size());
    for (qsizetype i = from; i + n <= hay.size(); ++i) {
        qsizetype k = 0;
        while (k < n && lowerAscii(char16_t(hay[i + k].unicode())) == needle[size_t(k)])
            ++k;
        if (k == n)
            return i;
    }
    return -1;
}

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

// At s[i] == '&': appends the referenced character and returns the position
// after the reference, or appends '&' and returns i + 1 when it is none.
qsizetype decodeEntityAt(QStringView s, qsizetype i, QString& out)
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
        if (j == digitsStart) {
            out += u'&';
            return i + 1;
        }
        if (j < n && s[j] == u';')
            ++j;
        appendCodePoint(out, overflow ? 0xFFFD : value);
        return j;
    }
    while (j < n && isAsciiAlnum(s[j].unicode()) && j - i <= 10)
        ++j;
    const std::u16string_view name(reinterpret_cast<const char16_t*>(s.data()) + i + 1, size_t(j - i - 1));
    const bool semicolon = j < n && s[j] == u';';
    if (!name.empty() && (semicolon || acceptedWithoutSemicolon(name))) {
        for (const NamedEntity& e : kEntities) {
            if (e.name == name) {
                out += QChar(e.value);
                return semicolon ? j + 1 : j;
            }
        }
    }
    out += u'&';
    return i + 1;
}

// Text with every run of white space made one space, none at the ends.
QString collapseSpaces(QStringView raw)
{
    QString out;
    out.reserve(raw.size());
    bool pendingSpace = false;
    for (const QChar ch : raw) {
        if (isCollapsibleSpace(ch.unicode())) {
            pendingSpace = !out.isEmpty();
            continue;
        }
        if (pendingSpace) {
            out += u' ';
            pendingSpace = false;
        }
        out += ch;
    }
    return out;
}

// Tags after which a browser starts a new line or cell: they separate words.
bool isBlockTag(std::u16string_view name)
{
    static constexpr std::u16string_view blocks[] = {
        u"address", u"article", u"aside", u"blockquote", u"body", u"br", u"caption", u"center",
        u"dd", u"div", u"dl", u"dt", u"fieldset", u"figcaption", u"figure", u"footer", u"form",
        u"h1", u"h2", u"h3", u"h4", u"h5", u"h6", u"head", u"header", u"hr", u"html", u"li",
        u"main", u"nav", u"ol", u"option", u"p", u"pre", u"section", u"table", u"tbody", u"td",
        u"tfoot", u"th", u"thead", u"title", u"tr", u"ul"};
    return std::find(std::begin(blocks), std::end(blocks), name) != std::end(blocks);
}

// Elements whose content is not text: skipped up to their end tag.
bool isRawTextTag(std::u16string_view name)
{
    return name == u"script" || name == u"style" || name == u"title" || name == u"template"
        || name == u"textarea" || name == u"xmp";
}

bool isHeading(std::u16string_view name)
{
    return name.size() == 2 && name[0] == u'h' && name[1] >= u'1' && name[1] <= u'6';
}

// From just after the tag name to just after the closing '>'. A quoted
// attribute value may hold '>'; an unclosed quote does not swallow the page.
qsizetype skipTagRest(QStringView s, qsizetype i)
{
    const qsizetype n = s.size();
    while (i < n) {
        const char16_t c = s[i].unicode();
        if (c == u'>')
            return i + 1;
        if (c == u'=') {
            ++i;
            while (i < n && isAsciiSpace(s[i].unicode()))
                ++i;
            if (i < n && (s[i] == u'"' || s[i] == u'\'')) {
                const QChar quote = s[i];
                const qsizetype close = s.indexOf(quote, i + 1);
                if (close >= 0) {
                    i = close + 1;
                    continue;
                }
            }
            continue;
        }
        ++i;
    }
    return n;
}

} // namespace

QString decodeEntities(QStringView text)
{
    if (!text.contains(u'&'))
        return text.toString();
    QString out;
    out.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        if (text[i] == u'&') {
            i = decodeEntityAt(text, i, out);
        } else {
            out += text[i];
            ++i;
        }
    }
    return out;
}

PageText extractText(QStringView s)
{
    PageText result;
    QString raw;
    raw.reserve(s.size());
    qsizetype headingStart = -1;
    bool headingDone = false;
    const qsizetype n = s.size();
    qsizetype i = 0;
    while (i < n) {
        const char16_t c = s[i].unicode();
        if (c == u'&') {
            i = decodeEntityAt(s, i, raw);
            continue;
        }
        if (c != u'<') {
            raw += QChar(c);
            ++i;
            continue;
        }
        // A comment, a declaration or a processing instruction: no text.
        if (s.sliced(i).startsWith(u"<!--")) {
            const qsizetype end = s.indexOf(u"-->", i + 4);
            i = end < 0 ? n : end + 3;
            continue;
        }
        if (i + 1 < n && (s[i + 1] == u'!' || s[i + 1] == u'?')) {
            const qsizetype end = s.indexOf(u'>', i + 2);
            i = end < 0 ? n : end + 1;
            continue;
        }
        const bool closing = i + 1 < n && s[i + 1] == u'/';
        qsizetype j = i + (closing ? 2 : 1);
        if (j >= n || !isAsciiAlpha(s[j].unicode())) {
            // "a < b" and the like: a plain character.
            raw += QChar(c);
            ++i;
            continue;
        }
        std::u16string name;
        while (j < n && (isAsciiAlnum(s[j].unicode()) || s[j] == u'-' || s[j] == u':')) {
            name += lowerAscii(char16_t(s[j].unicode()));
            ++j;
        }
        i = skipTagRest(s, j);

        if (isBlockTag(name))
            raw += u' ';
        if (!closing && isRawTextTag(name)) {
            const std::u16string endTag = u"</" + name;
            const qsizetype end = findNoCase(s, endTag, i);
            const qsizetype contentEnd = end < 0 ? n : end;
            if (name == u"title" && result.title.isEmpty())
                result.title = collapseSpaces(decodeEntities(s.sliced(i, contentEnd - i)));
            i = end < 0 ? n : skipTagRest(s, end + qsizetype(endTag.size()));
            continue;
        }
        if (isHeading(name) && !headingDone) {
            if (!closing) {
                headingStart = raw.size();
            } else if (headingStart >= 0) {
                result.heading = collapseSpaces(QStringView(raw).sliced(headingStart));
                headingDone = !result.heading.isEmpty();
                headingStart = -1;
            }
        }
    }
    result.text = collapseSpaces(raw);
    return result;
}

} // namespace Orvanta::Build
