#include "platform/jet/JetText.h"

#include "platform/text/Cp950.h"

#include <unicode/ucnv.h>

#include <map>
#include <memory>

namespace Orvanta::JetText {

QString decodeJet4(QByteArrayView bytes)
{
    QString out;
    decodeJet4(bytes, out);
    return out;
}

void decodeJet4(QByteArrayView bytes, QString& out)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    qsizetype n = bytes.size();

    if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
        p += 2;
        n -= 2;
        out.resize(n); // at most one character per byte
        char16_t* o = reinterpret_cast<char16_t*>(out.data());
        char16_t* const start = o;
        bool compressed = true;
        while (n > 0) {
            if (*p == 0) {
                compressed = !compressed;
                ++p;
                --n;
            } else if (compressed) {
                *o++ = char16_t(*p++);
                --n;
            } else if (n >= 2) {
                *o++ = char16_t(p[0] | (p[1] << 8));
                p += 2;
                n -= 2;
            } else {
                break;
            }
        }
        out.truncate(o - start);
        return;
    }

    const qsizetype units = n / 2;
    out.resize(units);
    char16_t* o = reinterpret_cast<char16_t*>(out.data());
    for (qsizetype i = 0; i < units; ++i)
        o[i] = char16_t(p[2 * i] | (p[2 * i + 1] << 8));
}

namespace {

struct ConverterCloser {
    void operator()(UConverter* c) const { ucnv_close(c); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

UConverter* converterFor(int codePage)
{
    thread_local std::map<int, ConverterPtr> cache;
    auto it = cache.find(codePage);
    if (it != cache.end())
        return it->second.get();

    ConverterPtr conv;
    for (const QByteArray& name : {"windows-" + QByteArray::number(codePage), "ibm-" + QByteArray::number(codePage),
                                   QByteArray("windows-1252")}) {
        UErrorCode status = U_ZERO_ERROR;
        conv.reset(ucnv_open(name.constData(), &status));
        if (U_SUCCESS(status) && conv)
            break;
        conv.reset();
    }
    UConverter* raw = conv.get();
    cache.emplace(codePage, std::move(conv));
    return raw;
}

} // namespace

QString decodeCodePage(QByteArrayView bytes, int codePage)
{
    if (bytes.isEmpty())
        return QString();
    if (codePage == 950)
        return Cp950::decode(bytes);
    if (codePage == 1252 || codePage == 0) {
        // The common case, without a converter round trip for ASCII.
        bool ascii = true;
        for (char c : bytes)
            if (uchar(c) >= 0x80) {
                ascii = false;
                break;
            }
        if (ascii)
            return QString::fromLatin1(bytes);
    }
    UConverter* conv = converterFor(codePage == 0 ? 1252 : codePage);
    if (!conv)
        return QString::fromLatin1(bytes);
    ucnv_reset(conv);
    QString out;
    out.resize(bytes.size() * 2 + 2);
    UErrorCode status = U_ZERO_ERROR;
    const int32_t len = ucnv_toUChars(conv, reinterpret_cast<UChar*>(out.data()), int32_t(out.size()),
                                      bytes.data(), int32_t(bytes.size()), &status);
    if (U_FAILURE(status))
        return QString::fromLatin1(bytes);
    out.truncate(len);
    return out;
}

int jet3CodePage(int headerCodePage, int languageId)
{
    if (headerCodePage > 0 && headerCodePage != 0xFFFF)
        return headerCodePage;
    switch (languageId & 0x3FF) { // primary language
    case 0x04: // Chinese: Taiwan, Hong Kong and Macau use Big5, the rest GBK
        switch (languageId) {
        case 0x0404:
        case 0x0C04:
        case 0x1404:
            return 950;
        default:
            return 936;
        }
    case 0x11:
        return 932;
    case 0x12:
        return 949;
    case 0x1E:
        return 874;
    case 0x19:
    case 0x22:
    case 0x23:
    case 0x02:
    case 0x2F:
        return 1251;
    case 0x05:
    case 0x0E:
    case 0x15:
    case 0x18:
    case 0x1B:
    case 0x24:
    case 0x1A:
        return 1250;
    case 0x08:
        return 1253;
    case 0x1F:
        return 1254;
    case 0x0D:
        return 1255;
    case 0x01:
        return 1256;
    case 0x25:
    case 0x26:
    case 0x27:
        return 1257;
    case 0x2A:
        return 1258;
    default:
        return 1252;
    }
}

void appendUtf8(std::string& out, QStringView text)
{
    const std::size_t at = out.size();
    // At most three bytes for each unit: a pair of units makes four.
    out.resize(at + std::size_t(text.size()) * 3);
    auto* const begin = reinterpret_cast<unsigned char*>(out.data() + at);
    unsigned char* o = begin;
    const char16_t* p = text.utf16();
    const char16_t* const end = p + text.size();
    while (p < end) {
        const char32_t c = *p++;
        if (c < 0x80) {
            *o++ = static_cast<unsigned char>(c);
        } else if (c < 0x800) {
            *o++ = static_cast<unsigned char>(0xC0 | (c >> 6));
            *o++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
        } else if (c < 0xD800 || c >= 0xE000) {
            *o++ = static_cast<unsigned char>(0xE0 | (c >> 12));
            *o++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
            *o++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
        } else if (c < 0xDC00 && p < end && *p >= 0xDC00 && *p < 0xE000) {
            const char32_t u = 0x10000 + ((c - 0xD800) << 10) + (char32_t(*p++) - 0xDC00);
            *o++ = static_cast<unsigned char>(0xF0 | (u >> 18));
            *o++ = static_cast<unsigned char>(0x80 | ((u >> 12) & 0x3F));
            *o++ = static_cast<unsigned char>(0x80 | ((u >> 6) & 0x3F));
            *o++ = static_cast<unsigned char>(0x80 | (u & 0x3F));
        } else {
            *o++ = '?';
        }
    }
    out.resize(at + std::size_t(o - begin));
}

} // namespace Orvanta::JetText
