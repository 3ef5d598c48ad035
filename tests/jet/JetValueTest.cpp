// Date and text conversions of the reader, value by value.
#include "platform/jet/JetDate.h"
#include "platform/jet/JetText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace Orvanta;

TEST(JetDate, DaysSince1899WithTimeOfDay)
{
    struct Case {
        double value;
        const char* text;
    };
    const Case cases[] = {
        {0.0, "1899-12-30 00:00:00"},
        {1.5, "1899-12-31 12:00:00"},
        {2.0, "1900-01-01 00:00:00"},
        {36526.0, "2000-01-01 00:00:00"},
        {36526.75, "2000-01-01 18:00:00"},
        {44532.0, "2021-12-02 00:00:00"},
        {36525.0 + 86399.0 / 86400.0, "1999-12-31 23:59:59"},
        {36525.0 + 86399.6 / 86400.0, "2000-01-01 00:00:00"}, // rounds over midnight
        // Before the epoch the whole part counts back, the fraction still forward.
        {-1.0, "1899-12-29 00:00:00"},
        {-1.25, "1899-12-29 06:00:00"},
        {-0.5, "1899-12-30 12:00:00"},
        {-93865.0, "1643-01-01 00:00:00"},
        {-657434.0, "0100-01-01 00:00:00"},   // the smallest Jet date
        {2958465.0, "9999-12-31 00:00:00"},   // the largest
        {2958465.999, "9999-12-31 23:58:34"},
        // Out of range values are held at the bounds.
        {2958466.5, "9999-12-31 23:59:59"},
        {1e300, "9999-12-31 23:59:59"},
        {-1e300, "0001-01-01 00:00:00"},
    };
    for (const Case& c : cases) {
        const auto text = JetDate::toText(c.value);
        ASSERT_TRUE(text.has_value()) << c.value;
        EXPECT_EQ(*text, c.text) << "value " << c.value;
    }
    EXPECT_FALSE(JetDate::toText(std::numeric_limits<double>::quiet_NaN()).has_value());
    EXPECT_FALSE(JetDate::toText(std::numeric_limits<double>::infinity()).has_value());
}

TEST(JetDate, TextOrderIsDateOrder)
{
    // Chronological order; before the epoch it is not the numeric order.
    const double values[] = {-657434.0, -600000.5, -93865.0, -1.25, -1.75, 0.0, 0.25, -0.5, 1.0, 44532.5, 2958465.5};
    for (std::size_t i = 1; i < std::size(values); ++i)
        EXPECT_LT(*JetDate::toText(values[i - 1]), *JetDate::toText(values[i])) << values[i - 1] << " " << values[i];
}

TEST(JetText, Jet4CompressedAndPlain)
{
    struct Case {
        QByteArray bytes;
        QString text;
    };
    const Case cases[] = {
        {QByteArray(), QString()},
        {QByteArray("A\0B\0", 4), QStringLiteral("AB")},
        {QByteArray("\xFF\xFE" "abc", 5), QStringLiteral("abc")},
        // A zero byte switches to two bytes per character and back.
        {QByteArray("\xFF\xFE" "ab\0\x2D\x4E\x87\x65\0cd", 12), QStringLiteral("ab中文cd")},
        {QByteArray("\xFF\xFE", 2), QString()},
        {QByteArray("A\0B", 3), QStringLiteral("A")}, // a dangling byte is dropped
        {QByteArray("\x9E\x9F", 2), QStringLiteral("\u9F9E")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(JetText::decodeJet4(c.bytes), c.text) << c.bytes.toHex().toStdString();
}

TEST(JetText, DecodingIntoAReusedStringLeavesNothingBehind)
{
    QString text;
    JetText::decodeJet4(QByteArray("\xFF\xFE" "abcdef", 8), text);
    JetText::decodeJet4(QByteArray("\x2D\x4E", 2), text);
    EXPECT_EQ(text, QStringLiteral("中"));
    JetText::decodeJet4(QByteArray(), text);
    EXPECT_TRUE(text.isEmpty());
}

TEST(JetText, Utf8IsWhatQtWrites)
{
    // Every length of encoding, pairs, and unpaired surrogates in each place.
    const std::u16string cases[] = {
        u"",
        std::u16string(u"a\0b", 3),
        u"\u00E4\u07FF\u0800\u4E2D\uFFFF",
        u"\U00020000\U0010FFFF",
        {char16_t(0xD800)},
        {u'a', char16_t(0xD800)},
        {char16_t(0xDC00), u'b'},
        {char16_t(0xD800), char16_t(0xD800), char16_t(0xDC00)},
        {char16_t(0xDBFF), u'x', char16_t(0xDFFF), char16_t(0xD83D)},
    };
    for (const std::u16string& c : cases) {
        const QString text = QString::fromUtf16(c.data(), qsizetype(c.size()));
        const QByteArray expected = QByteArray("kept") + text.toUtf8();
        std::string out = "kept";
        JetText::appendUtf8(out, text);
        EXPECT_EQ(QByteArray::fromStdString(out), expected) << text.toStdString();
    }
}

TEST(JetText, Jet3CodePages)
{
    EXPECT_EQ(JetText::decodeCodePage(QByteArray("Ums\xE4tze"), 1252), QStringLiteral("Umsätze"));
    EXPECT_EQ(JetText::decodeCodePage(QByteArray("\xA4\xA4\xA4\xE5"), 950), QStringLiteral("中文"));
    // A user-defined Big5 character survives as a private-use code point.
    const QString udc = JetText::decodeCodePage(QByteArray("\xFA\x40"), 950);
    ASSERT_EQ(udc.size(), 1);
    EXPECT_TRUE(udc.at(0).unicode() >= 0xE000 && udc.at(0).unicode() <= 0xF8FF) << std::hex << int(udc.at(0).unicode());
    EXPECT_EQ(JetText::decodeCodePage(QByteArray("plain"), 0), QStringLiteral("plain"));
    EXPECT_EQ(JetText::decodeCodePage(QByteArray("\xE4"), 99999), QStringLiteral("ä")); // unknown: 1252

    EXPECT_EQ(JetText::jet3CodePage(1252, 0x0409), 1252);
    EXPECT_EQ(JetText::jet3CodePage(950, 0x0409), 950);
    EXPECT_EQ(JetText::jet3CodePage(0, 0x0404), 950);
    EXPECT_EQ(JetText::jet3CodePage(0, 0x0804), 936);
    EXPECT_EQ(JetText::jet3CodePage(0, 0x0407), 1252);
}
