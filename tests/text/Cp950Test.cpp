#include "platform/text/Cp950.h"

#include <gtest/gtest.h>
#include <unicode/ucnv.h>
#include <unicode/uset.h>

using namespace Orvanta;

namespace {

// Every byte sequence the code page maps both ways, as ICU lists it.
std::vector<QByteArray> mappedSequences()
{
    std::vector<QByteArray> out;
    for (int b = 0; b < 0x80; ++b)
        out.push_back(QByteArray(1, char(b)));
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            QByteArray seq;
            seq.append(char(lead));
            seq.append(char(trail));
            UErrorCode status = U_ZERO_ERROR;
            UConverter* conv = ucnv_open("windows-950", &status);
            UChar buf[4];
            ucnv_setToUCallBack(conv, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
            int32_t n = ucnv_toUChars(conv, buf, 4, seq.constData(), 2, &status);
            ucnv_close(conv);
            if (U_SUCCESS(status) && n > 0)
                out.push_back(seq);
        }
    }
    return out;
}

} // namespace

TEST(Cp950, EveryMappedSequenceSurvivesDecodeThenEncode)
{
    const auto seqs = mappedSequences();
    ASSERT_GT(seqs.size(), 13000u);
    int userDefined = 0;
    std::vector<std::string> lost;
    for (const QByteArray& seq : seqs) {
        const QString text = Cp950::decode(seq);
        if (text.size() == 1 && text[0].unicode() >= 0xE000 && text[0].unicode() <= 0xF8FF)
            ++userDefined;
        if (Cp950::encode(text) != seq)
            lost.push_back(seq.toHex().toStdString());
    }
    EXPECT_TRUE(lost.empty()) << lost.size() << " sequences changed, first " << (lost.empty() ? "" : lost.front());
    // The user-defined areas (rare characters) decode to private-use code points.
    EXPECT_GT(userDefined, 5000);
}

TEST(Cp950, KnownCharacters)
{
    EXPECT_EQ(Cp950::decode(QByteArray::fromHex("a448b0d1")), QStringLiteral("人參"));
    EXPECT_EQ(Cp950::encode(QStringLiteral("人參")), QByteArray::fromHex("a448b0d1"));
    EXPECT_EQ(Cp950::encode(QStringLiteral("\u3000")), QByteArray::fromHex("a140"));
}

TEST(Cp950, UnmappedCharacterBecomesQuestionMark)
{
    EXPECT_EQ(Cp950::encode(QStringLiteral("a人参b")), QByteArray("a\xa4\x48?b"));
    EXPECT_EQ(Cp950::encode(QString::fromUcs4(U"\U0001F600")), QByteArray("?"));
}

TEST(Cp950, NoByteOrderMarkAndEmptyText)
{
    EXPECT_TRUE(Cp950::encode(QString()).isEmpty());
    EXPECT_TRUE(Cp950::decode(QByteArray()).isEmpty());
    EXPECT_FALSE(Cp950::encode(QStringLiteral("x")).startsWith("\xef\xbb\xbf"));
}

TEST(Cp950, DuplicateCodesKeepTheirBytes)
{
    // A2A4 and F9F9 both show as U+2550; each comes back as it was read.
    for (const char* hex : {"a2a4", "f9f9", "a2cc", "a451", "41a2a442f9fa"}) {
        const QByteArray bytes = QByteArray::fromHex(hex);
        EXPECT_EQ(Cp950::encode(Cp950::decode(bytes)), bytes) << hex;
    }
    EXPECT_EQ(Cp950::decode(QByteArray::fromHex("a2a4")).at(0), QChar(0x2550));
    EXPECT_EQ(Cp950::decode(QByteArray::fromHex("f9f9")), QString(QChar(0x2550)));
}
