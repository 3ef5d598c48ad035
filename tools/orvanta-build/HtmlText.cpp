#include "tools/orvanta-build/HtmlText.h"

#include "platform/text/CharacterReference.h"

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

// At s[i] == '&': appends the referenced character and returns the position
// after the reference, or appends '&' and returns i + 1 when it is none.
qsizetype decodeEntityAt(QStringView s, qsizetype i, QString& out)
{
    if (const std::optional<CharacterReference> reference = readCharacterReference(s, i)) {
        appendCodePoint(out, reference->value);
        return reference->end;
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
