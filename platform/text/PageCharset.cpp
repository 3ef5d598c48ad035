#include "platform/text/PageCharset.h"

#include "platform/text/Cp950.h"

#include <unicode/ucnv.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string_view>

namespace Orvanta {
namespace {

using Converter = std::unique_ptr<UConverter, decltype(&ucnv_close)>;

Converter openConverter(const QByteArray& name)
{
    UErrorCode status = U_ZERO_ERROR;
    Converter conv(ucnv_open(name.constData(), &status), &ucnv_close);
    if (U_FAILURE(status))
        conv.reset();
    return conv;
}

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool isNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-'
        || c == '_' || c == '.' || c == ':';
}

// Position of `needle` (lower-case ASCII) in `hay` from `from`, ignoring ASCII
// letter case; -1 when absent.
qsizetype findNoCase(QByteArrayView hay, std::string_view needle, qsizetype from)
{
    const qsizetype n = qsizetype(needle.size());
    for (qsizetype i = from; i + n <= hay.size(); ++i) {
        qsizetype k = 0;
        while (k < n && lowerAscii(hay[i + k]) == needle[size_t(k)])
            ++k;
        if (k == n)
            return i;
    }
    return -1;
}

bool isOneOf(const QByteArray& lower, std::initializer_list<std::string_view> names)
{
    const std::string_view name(lower.constData(), size_t(lower.size()));
    return std::find(names.begin(), names.end(), name) != names.end();
}

bool isCp950Name(const QByteArray& lower)
{
    return isOneOf(lower, {"big5", "big-5", "big5-hkscs", "cp950", "windows-950", "ms950", "x-x-big5",
                           "x-big5", "csbig5", "cn-big5", "x-windows-950"});
}

// Browsers read every GB2312 label as GBK, and pages labelled so use its
// extra characters; a strict GB2312 reading would lose them.
bool isGbkName(const QByteArray& lower)
{
    return isOneOf(lower, {"gb2312", "gb_2312", "gb_2312-80", "csgb2312", "chinese", "iso-ir-58",
                           "x-gbk", "csiso58gb231280"});
}

// A declaration of UTF-16 in a page that could be scanned as ASCII cannot be
// true; browsers read such a page as UTF-8, and so do we.
bool isUtf8Name(const QByteArray& lower)
{
    return isOneOf(lower, {"utf-8", "utf8", "unicode-1-1-utf-8", "utf-16", "utf-16le", "utf-16be"});
}

PageCharset fromByteOrderMark(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return {PageEncoding::Utf8, "utf-8", "\xEF\xBB\xBF"};
    if (bytes.startsWith("\xFF\xFE"))
        return {PageEncoding::Other, "utf-16le", "\xFF\xFE"};
    if (bytes.startsWith("\xFE\xFF"))
        return {PageEncoding::Other, "utf-16be", "\xFE\xFF"};
    return {PageEncoding::Cp950, {}, {}};
}

QString decodeWithIcu(QByteArrayView bytes, const QByteArray& name)
{
    const Converter conv = openConverter(name);
    if (!conv)
        return Cp950::decode(bytes);
    QString out(bytes.size() * 2 + 2, Qt::Uninitialized);
    UErrorCode status = U_ZERO_ERROR;
    const int32_t n = ucnv_toUChars(conv.get(), reinterpret_cast<UChar*>(out.data()), int32_t(out.size()),
                                    bytes.data(), int32_t(bytes.size()), &status);
    if (U_FAILURE(status))
        return Cp950::decode(bytes);
    out.resize(n);
    return out;
}

QByteArray encodeWithIcu(QStringView text, const QByteArray& name)
{
    const Converter conv = openConverter(name);
    if (!conv)
        return Cp950::encode(text);
    const auto* src = reinterpret_cast<const UChar*>(text.data());
    UErrorCode status = U_ZERO_ERROR;
    const int32_t needed = ucnv_fromUChars(conv.get(), nullptr, 0, src, int32_t(text.size()), &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status))
        return Cp950::encode(text);
    QByteArray out(needed, Qt::Uninitialized);
    status = U_ZERO_ERROR;
    ucnv_resetFromUnicode(conv.get());
    ucnv_fromUChars(conv.get(), out.data(), needed, src, int32_t(text.size()), &status);
    if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING)
        return Cp950::encode(text);
    return out;
}

} // namespace

PageCharset detectPageCharset(QByteArrayView bytes)
{
    const PageCharset marked = fromByteOrderMark(bytes);
    if (!marked.byteOrderMark.isEmpty())
        return marked;
    // The declaration belongs in the head; a long head still fits here.
    const QByteArrayView head = bytes.first(std::min<qsizetype>(bytes.size(), 16384));
    qsizetype pos = 0;
    while ((pos = findNoCase(head, "<meta", pos)) >= 0) {
        qsizetype end = head.indexOf('>', pos);
        if (end < 0)
            end = head.size();
        const QByteArrayView tag = head.sliced(pos, end - pos);
        pos = end;
        qsizetype at = findNoCase(tag, "charset", 0);
        if (at < 0)
            continue;
        at += 7;
        while (at < tag.size() && (tag[at] == ' ' || tag[at] == '\t' || tag[at] == '\r' || tag[at] == '\n'))
            ++at;
        if (at >= tag.size() || tag[at] != '=')
            continue;
        ++at;
        while (at < tag.size() && (tag[at] == ' ' || tag[at] == '"' || tag[at] == '\''))
            ++at;
        QByteArray name;
        while (at < tag.size() && isNameChar(tag[at]))
            name += lowerAscii(tag[at++]);
        if (name.isEmpty())
            continue;
        if (isUtf8Name(name))
            return {PageEncoding::Utf8, name, {}};
        if (isCp950Name(name))
            return {PageEncoding::Cp950, name, {}};
        const QByteArray converter = isGbkName(name) ? QByteArray("gbk") : name;
        if (openConverter(converter))
            return {PageEncoding::Other, converter, {}};
        return {PageEncoding::Cp950, name, {}};
    }
    return {};
}

QString decodePage(QByteArrayView bytes, const PageCharset& charset)
{
    if (bytes.startsWith(charset.byteOrderMark))
        bytes = bytes.sliced(charset.byteOrderMark.size());
    switch (charset.encoding) {
    case PageEncoding::Utf8:
        return QString::fromUtf8(bytes);
    case PageEncoding::Other:
        return decodeWithIcu(bytes, charset.name);
    case PageEncoding::Cp950:
        break;
    }
    return Cp950::decode(bytes);
}

QString decodePage(QByteArrayView bytes)
{
    return decodePage(bytes, detectPageCharset(bytes));
}

QByteArray encodePage(QStringView text, const PageCharset& charset)
{
    QByteArray body;
    switch (charset.encoding) {
    case PageEncoding::Utf8:
        body = text.toUtf8();
        break;
    case PageEncoding::Other:
        body = encodeWithIcu(text, charset.name);
        break;
    case PageEncoding::Cp950:
        body = Cp950::encode(text);
        break;
    }
    return charset.byteOrderMark + body;
}

} // namespace Orvanta
