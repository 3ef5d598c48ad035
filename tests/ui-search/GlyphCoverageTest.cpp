// Every character a collection's pages can hold is drawn as a glyph, never as
// a box: Big5 text, and the characters pages carry as references because Big5
// lacks them (爲 U+7232, Extension A 㐀 U+3400, Extension B 𠀀 U+20000), also at
// the start of a line and inside a red hit. Checked on the screen for the
// document view and through the fonts the widgets resolve.
#include "PageProbe.h"
#include "platform/text/Cp950.h"
#include "platform/ui/DocumentView.h"
#include "platform/ui/Fonts.h"
#include "support/Fixtures.h"

#include <QApplication>
#include <QDir>
#include <QGlyphRun>
#include <QImage>
#include <QRawFont>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextLayout>
#include <QWebEnginePage>

#include <gtest/gtest.h>

using namespace Orvanta;
using Orvanta::Test::evaluate;

namespace {

// A character no installed font holds (plane 16, private use): what a box
// looks like on this screen.
const QString kMissing = QString::fromUcs4(U"\U0010FFFD");

// The rare characters, written in the page as numeric references.
const QString kRare = QString::fromUcs4(U"爲㐀𠀀");

QString systemPath(QString local)
{
    return local.replace(QLatin1Char('/'), QLatin1Char('\\'));
}

// One character as drawn: its box on the screen and its dark pixels.
struct Drawn {
    QString character;
    QRect box;
    QImage ink; // one byte per pixel: 255 where the glyph left ink
    QColor darkest;
};

QImage inkOf(const QImage& shot, const QRect& box, QColor* darkest)
{
    QImage ink(box.size(), QImage::Format_Grayscale8);
    ink.fill(0);
    int best = 255 * 3;
    for (int y = 0; y < box.height(); ++y) {
        for (int x = 0; x < box.width(); ++x) {
            const QColor c = shot.pixelColor(box.x() + x, box.y() + y);
            const int sum = c.red() + c.green() + c.blue();
            // Black text and red hits both stand out from the white page.
            if (sum < 255 * 3 - 150 || (c.red() > 150 && c.green() < 120))
                ink.setPixel(x, y, 255);
            if (sum < best) {
                best = sum;
                *darkest = c;
            }
        }
    }
    return ink;
}

int inkCount(const QImage& ink)
{
    int n = 0;
    for (int y = 0; y < ink.height(); ++y)
        for (int x = 0; x < ink.width(); ++x)
            n += ink.pixelColor(x, y).value() > 0;
    return n;
}

// The smallest rectangle that holds every inked pixel.
QImage trimmed(const QImage& ink)
{
    QRect r;
    for (int y = 0; y < ink.height(); ++y)
        for (int x = 0; x < ink.width(); ++x)
            if (ink.pixelColor(x, y).value() > 0)
                r |= QRect(x, y, 1, 1);
    return ink.copy(r);
}

// The share of inked pixels in which two glyphs differ, each cut to its ink
// and the two laid over each other at their top-left corners.
double difference(const QImage& untrimmedA, const QImage& untrimmedB)
{
    const QImage a = trimmed(untrimmedA);
    const QImage b = trimmed(untrimmedB);
    if (std::abs(a.width() - b.width()) > 2 || std::abs(a.height() - b.height()) > 2)
        return 1.0;

    const int w = std::min(a.width(), b.width());
    const int h = std::min(a.height(), b.height());
    int differing = 0, inked = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const bool ia = a.pixelColor(x, y).value() > 0;
            const bool ib = b.pixelColor(x, y).value() > 0;
            differing += ia != ib;
            inked += ia || ib;
        }
    }
    return inked == 0 ? 0.0 : double(differing) / inked;
}

// Shows a Big5 page in the document view and returns every character of the
// paragraphs as drawn.
class DrawnPage {
public:
    explicit DrawnPage(const QByteArray& body)
    {
        const QString page = QDir(m_dir.path()).filePath(QStringLiteral("page.htm"));
        Test::writeFile(page,
                        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=big5\">"
                        "<style>body { margin: 10px; font-size: 40px; background: white; color: black; }"
                        "p { margin: 6px 0; white-space: nowrap; }</style></head><body>"
                            + body + "</body></html>");
        m_view.resize(900, 600);
        m_view.show();
        QSignalSpy finished(&m_view, &QWebEngineView::loadFinished);
        m_view.navigate(systemPath(page));
        if (!finished.wait(30000) || !finished.takeFirst().at(0).toBool())
            ADD_FAILURE() << "the page did not load";
    }

    // The characters of paragraph `id` as drawn, one per code point.
    std::vector<Drawn> paragraph(const QString& id)
    {
        const QVariantList boxes = evaluate(m_view.page(), QStringLiteral(R"(
            (function () {
                const out = [];
                const walker = document.createTreeWalker(document.getElementById('%1'), NodeFilter.SHOW_TEXT);
                for (let node = walker.nextNode(); node; node = walker.nextNode()) {
                    for (let i = 0; i < node.data.length; ) {
                        const width = node.data.codePointAt(i) > 0xFFFF ? 2 : 1;
                        const range = document.createRange();
                        range.setStart(node, i);
                        range.setEnd(node, i + width);
                        const r = range.getBoundingClientRect();
                        out.push([node.data.substr(i, width), r.left, r.top, r.width, r.height]);
                        i += width;
                    }
                }
                return out;
            })())").arg(id)).toList();

        const QImage shot = screen();
        if (const QString keep = qEnvironmentVariable("ORVANTA_GLYPH_SHOT"); !keep.isEmpty())
            shot.save(keep);
        std::vector<Drawn> out;
        for (const QVariant& v : boxes) {
            const QVariantList b = v.toList();
            Drawn d;
            d.character = b.at(0).toString();
            // Inside the character's box only, so a neighbour's ink stays out.
            d.box = QRectF(b.at(1).toDouble(), b.at(2).toDouble(), b.at(3).toDouble(), b.at(4).toDouble())
                        .toAlignedRect()
                        .adjusted(1, 1, -1, -1)
                        .intersected(shot.rect());
            d.ink = inkOf(shot, d.box, &d.darkest);
            out.push_back(d);
        }
        return out;
    }

private:
    QImage screen()
    {
        // Painted frames arrive after the load; wait until two grabs agree.
        QImage last;
        for (int i = 0; i < 40; ++i) {
            QTest::qWait(150);
            const QImage now = m_view.grab().toImage().convertToFormat(QImage::Format_RGB32);
            if (!now.isNull() && now == last)
                break;
            last = now;
        }
        return last;
    }

    QTemporaryDir m_dir;
    DocumentView m_view;
};

} // namespace

TEST(GlyphCoverage, DocumentViewDrawsEveryCharacterAsAGlyph)
{
    // As the collection's pages hold them: Big5 bytes, and references for
    // what Big5 lacks. The first line starts with such a reference and holds
    // a red-marked hit, as a highlighted page does; the others name the
    // Windows Ming face and a Latin face, as pages do.
    const QByteArray big5Hit = "\xa4\x48\xb0\xd1";       // 人參
    const QByteArray big5Text = "\xa5\xcc\xaf\xf3\xa4\xa7"; // 甘草之
    DrawnPage page("<p id=first>&#29234;" + big5Text + "<font color=red>" + big5Hit + "</font>&#13312;</p>"
                   "<p id=second style='font-family: \"" + Cp950::encode(QStringLiteral("新細明體")) + "\", serif'>"
                   "&#13312;&#131072;" + big5Hit + "&#29234;</p>"
                   "<p id=third><font face=Arial>" + big5Text + "&#131072;&#29234;</font></p>"
                   "<p id=missing>&#1114109;</p>"
                   "<p id=ming style='font-family: \"Noto Serif CJK TC\", HanaMinB'>&#29234;&#13312;&#131072;"
                       + big5Text + big5Hit + "</p>");
    // The same characters in the Ming face named outright.
    const std::vector<Drawn> ming = page.paragraph(QStringLiteral("ming"));

    const std::vector<Drawn> missing = page.paragraph(QStringLiteral("missing"));
    ASSERT_EQ(missing.size(), 1u);
    ASSERT_EQ(missing[0].character, kMissing);

    std::vector<Drawn> all;
    for (const char* id : {"first", "second", "third"}) {
        const std::vector<Drawn> line = page.paragraph(QString::fromLatin1(id));
        ASSERT_FALSE(line.empty()) << id;
        all.insert(all.end(), line.begin(), line.end());
    }
    // 爲 starts the first line; all three rare characters are on the page.
    ASSERT_EQ(all.front().character, QStringLiteral("爲"));
    for (const QChar c : {QChar(u'爲'), QChar(u'㐀')})
        EXPECT_TRUE(std::any_of(all.begin(), all.end(), [&](const Drawn& d) { return d.character == c; }));
    EXPECT_TRUE(std::any_of(all.begin(), all.end(),
                            [&](const Drawn& d) { return d.character == kRare.mid(2); }));

    for (const Drawn& d : all) {
        SCOPED_TRACE(d.character.toStdString());
        ASSERT_GT(d.box.width(), 10);
        EXPECT_GT(inkCount(d.ink), 20) << "drawn blank";
        EXPECT_GT(difference(d.ink, missing[0].ink), 0.25) << "drawn as the box of a missing glyph";
        const auto inMing = std::find_if(ming.begin(), ming.end(),
                                         [&](const Drawn& m) { return m.character == d.character; });
        ASSERT_NE(inMing, ming.end());
        EXPECT_LT(difference(d.ink, inMing->ink), 0.25) << "not drawn in the Ming face";
        // Each character looks the same wherever it stands, and unlike every
        // other one: boxes would all look alike.
        for (const Drawn& other : all) {
            const double diff = difference(d.ink, other.ink);
            if (other.character == d.character)
                EXPECT_LT(diff, 0.25) << "drawn differently in another place";
            else
                EXPECT_GT(diff, 0.25) << "drawn like " << other.character.toStdString();
        }
    }
    // The hit keeps its red.
    const Drawn& hit = all[4];
    ASSERT_EQ(hit.character, QStringLiteral("人"));
    EXPECT_GT(hit.darkest.red(), 150);
    EXPECT_LT(hit.darkest.green(), 100);
}

// What the widgets draw: each character through the font it resolves to.
TEST(GlyphCoverage, WidgetFontsHoldEveryCharacter)
{
    installFontFallbacks();
    const std::vector<std::pair<const char*, QFont>> fonts = {
        {"Ming design font", designFont(QStringLiteral("新細明體"), 12.75)},
        {"Arial design font", designFont(QStringLiteral("Arial"), 14.25)},
        {"application font", QApplication::font()},
    };
    const QStringList ming = mingFamilies();
    const QString text = QStringLiteral("中文人參甘草之") + kRare;
    for (const auto& [name, font] : fonts) {
        SCOPED_TRACE(name);
        for (qsizetype i = 0; i < text.size(); ++i) {
            const qsizetype width = text.at(i).isHighSurrogate() ? 2 : 1;
            const QString character = text.mid(i, width);
            i += width - 1;
            SCOPED_TRACE(character.toStdString());
            QTextLayout layout(character, font);
            layout.beginLayout();
            layout.createLine();
            layout.endLayout();
            const QList<QGlyphRun> runs = layout.glyphRuns();
            ASSERT_EQ(runs.size(), 1);
            const QString family = runs[0].rawFont().familyName();
            ASSERT_EQ(runs[0].glyphIndexes().size(), 1);
            EXPECT_NE(runs[0].glyphIndexes()[0], 0u) << "a box in " << family.toStdString();
            // Chinese comes from the Ming face or its fallbacks.
            EXPECT_TRUE(ming.contains(family)) << family.toStdString();
        }
    }
}
