#include "search/core/TextRuns.h"

#include "platform/text/CharacterReference.h"

#include <algorithm>
#include <optional>
#include <string_view>

namespace Orvanta {
namespace {

char16_t lowerAscii(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? char16_t(c - u'A' + u'a') : c;
}

bool isAlpha(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z');
}

bool isDigit(QChar c)
{
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

bool isSpace(QChar c)
{
    const char16_t u = c.unicode();
    return u == u' ' || u == u'\t' || u == u'\n' || u == u'\r' || u == u'\f';
}

bool equalsNoCase(QStringView s, std::u16string_view lower)
{
    if (s.size() != qsizetype(lower.size()))
        return false;
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (lowerAscii(s[i].unicode()) != lower[size_t(i)])
            return false;
    }
    return true;
}

// The named references a browser takes without their closing ";" (HTML's
// legacy list), letter case as written; in text it takes the longest of them
// that begins the name, so "&copy人參" and "&copyright" both start with ©.
// The five that old pages use most are taken in any letter case, as they
// always were here.
bool isBareReference(QStringView name)
{
    for (std::u16string_view bare : {u"amp", u"lt", u"gt", u"quot", u"nbsp"}) {
        if (equalsNoCase(name, bare))
            return true;
    }
    static constexpr std::u16string_view legacy[] = {
        u"AElig", u"AMP", u"Aacute", u"Acirc", u"Agrave", u"Aring", u"Atilde", u"Auml", u"COPY", u"Ccedil",
        u"ETH", u"Eacute", u"Ecirc", u"Egrave", u"Euml", u"GT", u"Iacute", u"Icirc", u"Igrave", u"Iuml", u"LT",
        u"Ntilde", u"Oacute", u"Ocirc", u"Ograve", u"Oslash", u"Otilde", u"Ouml", u"QUOT", u"REG", u"THORN",
        u"Uacute", u"Ucirc", u"Ugrave", u"Uuml", u"Yacute", u"aacute", u"acirc", u"acute", u"aelig", u"agrave",
        u"aring", u"atilde", u"auml", u"brvbar", u"ccedil", u"cedil", u"cent", u"copy", u"curren", u"deg",
        u"divide", u"eacute", u"ecirc", u"egrave", u"eth", u"euml", u"frac12", u"frac14", u"frac34", u"iacute",
        u"icirc", u"iexcl", u"igrave", u"iquest", u"iuml", u"laquo", u"macr", u"micro", u"middot", u"not",
        u"ntilde", u"oacute", u"ocirc", u"ograve", u"ordf", u"ordm", u"oslash", u"otilde", u"ouml", u"para",
        u"plusmn", u"pound", u"raquo", u"reg", u"sect", u"shy", u"sup1", u"sup2", u"sup3", u"szlig", u"thorn",
        u"times", u"uacute", u"ucirc", u"ugrave", u"uml", u"uuml", u"yacute", u"yen", u"yuml"};
    for (std::u16string_view bare : legacy) {
        if (name == QStringView(bare.data(), qsizetype(bare.size())))
            return true;
    }
    return false;
}

// At s[i] == '&': the end of the reference that starts there, or i when none does.
qsizetype referenceEnd(QStringView s, qsizetype i)
{
    const qsizetype n = s.size();
    qsizetype j = i + 1;
    if (j < n && s[j] == u'#') {
        const std::optional<CharacterReference> number = readCharacterReference(s, i);
        return number ? number->end : i;
    }
    if (j >= n || !isAlpha(s[j]))
        return i;
    while (j < n && (isAlpha(s[j]) || isDigit(s[j])))
        ++j;
    if (j < n && s[j] == u';')
        return j + 1;
    // The longest bare reference that begins the name.
    for (qsizetype end = j; end > i + 1; --end) {
        if (isBareReference(s.sliced(i + 1, end - i - 1)))
            return end;
    }
    return i;
}

// From inside a tag to just after its closing '>'. A quoted attribute value
// may hold '>'; an unclosed quote does not swallow the page.
qsizetype tagEnd(QStringView s, qsizetype i)
{
    const qsizetype n = s.size();
    while (i < n) {
        const QChar c = s[i];
        if (c == u'>')
            return i + 1;
        ++i;
        if (c != u'=')
            continue;
        while (i < n && isSpace(s[i]))
            ++i;
        if (i < n && (s[i] == u'"' || s[i] == u'\'')) {
            const qsizetype close = s.indexOf(s[i], i + 1);
            if (close >= 0)
                i = close + 1;
        }
    }
    return n;
}

// Position of the end tag "</name" (any letter case, the name ending there:
// "</scripts>" does not end a script) from `from`; the end of `s` when absent.
qsizetype endTagStart(QStringView s, std::u16string_view name, qsizetype from)
{
    const qsizetype n = s.size();
    const qsizetype len = qsizetype(name.size());
    for (qsizetype at = s.indexOf(u"</", from); at >= 0; at = s.indexOf(u"</", at + 2)) {
        const qsizetype after = at + 2 + len;
        if (after <= n && equalsNoCase(s.sliced(at + 2, len), name)
            && (after == n || isSpace(s[after]) || s[after] == u'>' || s[after] == u'/'))
            return at;
    }
    return n;
}

// At s[i] == '<': the end of the mark-up that starts there (for the elements
// whose content a browser does not read as mark-up, of their content too), or
// i when "<" is a plain character.
qsizetype markupEnd(QStringView s, qsizetype i)
{
    const qsizetype n = s.size();
    if (i + 3 < n && s[i + 1] == u'!' && s[i + 2] == u'-' && s[i + 3] == u'-') {
        const qsizetype close = s.indexOf(u"-->", i + 4);
        return close < 0 ? n : close + 3;
    }
    if (i + 1 < n && (s[i + 1] == u'!' || s[i + 1] == u'?')) {
        const qsizetype close = s.indexOf(u'>', i + 2);
        return close < 0 ? n : close + 1;
    }
    const bool closing = i + 1 < n && s[i + 1] == u'/';
    const qsizetype nameStart = i + (closing ? 2 : 1);
    if (nameStart >= n || !isAlpha(s[nameStart]))
        return i;
    qsizetype j = nameStart;
    while (j < n && (isAlpha(s[j]) || isDigit(s[j]) || s[j] == u'-' || s[j] == u':'))
        ++j;
    const QStringView name = s.sliced(nameStart, j - nameStart);
    const qsizetype end = tagEnd(s, j);
    if (closing)
        return end;
    // Their content is raw text: a mark there would show as its letters
    // (a text box, <xmp>, the window's title) or not at all (a script, a
    // frame's fallback). A <noscript> is read as mark-up, since page scripts
    // never run. Nothing ever ends <plaintext>.
    for (std::u16string_view raw :
         {u"script", u"style", u"textarea", u"xmp", u"iframe", u"noembed", u"noframes", u"title"}) {
        if (equalsNoCase(name, raw))
            return endTagStart(s, raw, end);
    }
    if (equalsNoCase(name, u"plaintext"))
        return n;
    return end;
}

} // namespace

std::vector<TextRun> textRuns(QStringView page, std::vector<TextRun>* references)
{
    std::vector<TextRun> runs;
    const qsizetype n = page.size();
    // Most of a page is text: the next "<" and the next "&" are each found by
    // one fast search and kept until the scan has passed them.
    qsizetype nextTag = -1;
    qsizetype nextReference = -1;
    const auto next = [&](qsizetype& cached, char16_t c, qsizetype from) {
        if (cached != n && cached < from) {
            cached = page.indexOf(QChar(c), from);
            if (cached < 0)
                cached = n;
        }
        return cached;
    };
    qsizetype runStart = 0;
    qsizetype i = 0;
    while (i < n) {
        i = std::min(next(nextTag, u'<', i), next(nextReference, u'&', i));
        if (i == n)
            break;
        const bool tag = page[i] == u'<';
        const qsizetype skipTo = tag ? markupEnd(page, i) : referenceEnd(page, i);
        if (skipTo == i) {
            ++i;
            continue;
        }
        if (!tag && references)
            references->push_back({i, skipTo});
        if (i > runStart)
            runs.push_back({runStart, i});
        i = runStart = skipTo;
    }
    if (n > runStart)
        runs.push_back({runStart, n});
    return runs;
}

} // namespace Orvanta
