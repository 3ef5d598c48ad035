#include "platform/text/Cp950.h"

#include "platform/Error.h"

#include <unicode/ucnv.h>

#include <memory>

namespace Orvanta::Cp950 {
namespace {

struct ConverterCloser {
    void operator()(UConverter* c) const { ucnv_close(c); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

// One converter per thread: opening one costs far more than a short page.
UConverter* converter()
{
    thread_local ConverterPtr conv = [] {
        UErrorCode status = U_ZERO_ERROR;
        ConverterPtr c(ucnv_open("windows-950", &status));
        if (U_FAILURE(status) || !c)
            throw Error(ErrorCode::InvalidProcedureCall,
                        QStringLiteral("The code page 950 converter is not available."));
        status = U_ZERO_ERROR;
        ucnv_setSubstChars(c.get(), "?", 1, &status);
        ucnv_setFallback(c.get(), false);
        return c;
    }();
    ucnv_reset(conv.get());
    return conv.get();
}

// Ten double-byte codes of the code page are duplicates: they decode to a
// character that another code also maps to, and encoding that character gives
// the other code. So that a page written back holds the bytes it was read
// with, such a code decodes to its character followed by VARIATION SELECTOR-1
// (invisible, ignored by fonts), and that pair encodes to the code again.
constexpr char16_t kDuplicateMark = 0xFE00;

struct Duplicate {
    unsigned char lead, trail;
    char16_t character;
};

const std::vector<Duplicate>& duplicates()
{
    static const std::vector<Duplicate> table = [] {
        std::vector<Duplicate> out;
        UErrorCode status = U_ZERO_ERROR;
        ConverterPtr c(ucnv_open("windows-950", &status));
        if (U_FAILURE(status))
            return out;
        for (int lead = 0x81; lead <= 0xFE; ++lead) {
            for (int trail = 0x40; trail <= 0xFE; ++trail) {
                const char in[2] = {char(lead), char(trail)};
                UChar u[4];
                status = U_ZERO_ERROR;
                ucnv_reset(c.get());
                ucnv_setToUCallBack(c.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
                const int32_t n = ucnv_toUChars(c.get(), u, 4, in, 2, &status);
                if (U_FAILURE(status) || n != 1)
                    continue;
                char back[8];
                status = U_ZERO_ERROR;
                ucnv_reset(c.get());
                const int32_t m = ucnv_fromUChars(c.get(), back, 8, u, 1, &status);
                if (U_SUCCESS(status) && (m != 2 || back[0] != in[0] || back[1] != in[1]))
                    out.push_back({static_cast<unsigned char>(lead), static_cast<unsigned char>(trail), u[0]});
            }
        }
        return out;
    }();
    return table;
}

const Duplicate* duplicateFor(unsigned char lead, unsigned char trail)
{
    for (const Duplicate& d : duplicates())
        if (d.lead == lead && d.trail == trail)
            return &d;
    return nullptr;
}

const Duplicate* duplicateFor(char16_t character)
{
    for (const Duplicate& d : duplicates())
        if (d.character == character)
            return &d;
    return nullptr;
}

QString decodeWithIcu(QByteArrayView bytes);
QByteArray encodeWithIcu(QStringView text);

} // namespace

QString decode(QByteArrayView bytes)
{
    // Fast path: the duplicate codes all lead with one of these bytes.
    bool mayHoldDuplicate = false;
    for (const Duplicate& d : duplicates()) {
        if (bytes.contains(char(d.lead))) {
            mayHoldDuplicate = true;
            break;
        }
    }
    if (!mayHoldDuplicate)
        return decodeWithIcu(bytes);

    QString out;
    out.reserve(bytes.size());
    qsizetype segment = 0;
    qsizetype i = 0;
    const qsizetype n = bytes.size();
    while (i < n) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x81 || i + 1 >= n) {
            ++i;
            continue;
        }
        if (const Duplicate* d = duplicateFor(lead, static_cast<unsigned char>(bytes[i + 1]))) {
            out += decodeWithIcu(bytes.sliced(segment, i - segment));
            out += QChar(d->character);
            out += QChar(kDuplicateMark);
            segment = i + 2;
        }
        i += 2;
    }
    out += decodeWithIcu(bytes.sliced(segment));
    return out;
}

QByteArray encode(QStringView text)
{
    if (!text.contains(QChar(kDuplicateMark)))
        return encodeWithIcu(text);
    QByteArray out;
    qsizetype segment = 0;
    for (qsizetype k = 1; k < text.size(); ++k) {
        if (text[k] != QChar(kDuplicateMark))
            continue;
        if (const Duplicate* d = duplicateFor(text[k - 1].unicode())) {
            out += encodeWithIcu(text.sliced(segment, k - 1 - segment));
            out += char(d->lead);
            out += char(d->trail);
            segment = k + 1;
        }
    }
    out += encodeWithIcu(text.sliced(segment));
    return out;
}

qsizetype unmappableCount(QStringView text)
{
    // A "?" in the bytes is either one of the text's own or a substitute:
    // 0x3F is never the second byte of a double-byte code.
    return encode(text).count('?') - text.count(u'?');
}

namespace {

QString decodeWithIcu(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return {};
    UConverter* conv = converter();
    // Every byte yields at most one UTF-16 unit (double-byte codes yield one or
    // two for two bytes), so the byte count bounds the output.
    QString out(bytes.size() + 1, Qt::Uninitialized);
    UErrorCode status = U_ZERO_ERROR;
    int32_t n = ucnv_toUChars(conv, reinterpret_cast<UChar*>(out.data()), out.size(),
                              bytes.data(), static_cast<int32_t>(bytes.size()), &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        out.resize(n + 1);
        status = U_ZERO_ERROR;
        ucnv_reset(conv);
        n = ucnv_toUChars(conv, reinterpret_cast<UChar*>(out.data()), out.size(),
                          bytes.data(), static_cast<int32_t>(bytes.size()), &status);
    }
    if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING)
        throw Error(ErrorCode::InvalidProcedureCall,
                    QStringLiteral("Text could not be read in code page 950."));
    out.resize(n);
    return out;
}

QByteArray encodeWithIcu(QStringView text)
{
    if (text.isEmpty())
        return {};
    UConverter* conv = converter();
    QByteArray out(text.size() * 2 + 2, Qt::Uninitialized);
    UErrorCode status = U_ZERO_ERROR;
    int32_t n = ucnv_fromUChars(conv, out.data(), out.size(),
                                reinterpret_cast<const UChar*>(text.data()),
                                static_cast<int32_t>(text.size()), &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        out.resize(n + 1);
        status = U_ZERO_ERROR;
        ucnv_reset(conv);
        n = ucnv_fromUChars(conv, out.data(), out.size(),
                            reinterpret_cast<const UChar*>(text.data()),
                            static_cast<int32_t>(text.size()), &status);
    }
    if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING)
        throw Error(ErrorCode::InvalidProcedureCall,
                    QStringLiteral("Text could not be written in code page 950."));
    out.resize(n);
    return out;
}

} // namespace

} // namespace Orvanta::Cp950
