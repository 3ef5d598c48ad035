// Marks of a folded search: every variant form of a word is marked, with the
// rules of the exact marks (never inside mark-up, references read as their
// characters and taken whole, the page's own characters kept inside the
// mark); the exact marks stay as they were.
#include "search/core/Highlighter.h"

#include <gtest/gtest.h>

using namespace Orvanta;

namespace {

QString mark(const QString& w)
{
    return "<font color=red>" + w + "</font>";
}

struct Case {
    QString page;
    QStringList words;
    QString folded; // marked with every form
    QString exact;  // marked exactly
    const char* why;
};

} // namespace

TEST(VariantMarks, EveryFormIsMarkedWithTheExactRules)
{
    const std::vector<Case> cases = {
        {"人參湯、人蔘湯、人参湯", {"人參"}, mark("人參") + "湯、" + mark("人蔘") + "湯、" + mark("人参") + "湯",
         mark("人參") + "湯、人蔘湯、人参湯", "the page's own forms kept inside the marks"},
        {"<a title='人蔘'>人蔘</a>", {"人参"}, "<a title='人蔘'>" + mark("人蔘") + "</a>", "<a title='人蔘'>人蔘</a>",
         "never inside mark-up"},
        {"人&#34072;湯", {"人參"}, mark("人&#34072;") + "湯", "人&#34072;湯", "a reference is read and marked whole"},
        {"人&#34072;湯 人參", {"人参"}, mark("人&#34072;") + "湯 " + mark("人參"), "人&#34072;湯 人參",
         "references and plain text on one page"},
        {"\U0002009D人 眾人", {"众"}, mark("\U0002009D") + "人 " + mark("眾") + "人", "\U0002009D人 眾人",
         "a form outside the BMP: two units marked for one"},
        {"众 眾", {"\U0002009D"}, mark("众") + " " + mark("眾"), "众 眾", "the word outside the BMP"},
        {"\U0002009D\U0002009D众", {"众众"}, mark("\U0002009D\U0002009D") + "众", "\U0002009D\U0002009D众",
         "hits of different lengths, left to right, no overlap"},
        {"Ginseng GINSENG", {"ginseng"}, mark("Ginseng") + " " + mark("GINSENG"), mark("Ginseng") + " " + mark("GINSENG"),
         "case folds as before"},
        {"甘艸、甘草；鍼、針", {"甘草", "针"}, mark("甘艸") + "、" + mark("甘草") + "；" + mark("鍼") + "、" + mark("針"),
         "甘艸、" + mark("甘草") + "；鍼、針", "several words, each in all its forms"},
        {"人入", {"入"}, "人" + mark("入"), "人" + mark("入"), "look-alikes stay apart"},
        {"人參湯、人蔘湯、人参湯", {"人参_"}, mark("人參湯") + "、" + mark("人蔘湯") + "、" + mark("人参湯"),
         "人參湯、人蔘湯、" + mark("人参湯"), "a pattern word marks what the folded pattern matches"},
        {"人蔘甘草湯 人参湯", {"参%湯"}, "人" + mark("蔘甘草湯") + " 人" + mark("参湯"), "人蔘甘草湯 人" + mark("参湯"),
         "'%' over folded text, shortest from the leftmost start"},
        {"𠂝人湯 眾人湯", {"众_湯"}, mark("𠂝人湯") + " " + mark("眾人湯"), "𠂝人湯 眾人湯",
         "a pattern's stretch mapped back across a form outside the BMP"},
        {"<b>人</b>蔘湯", {"人_湯"}, "<b>人</b>蔘湯", "<b>人</b>蔘湯", "a folded pattern never spans mark-up"},
        {"<!-- 人蔘 --><script>人蔘</script>人蔘", {"人參"}, "<!-- 人蔘 --><script>人蔘</script>" + mark("人蔘"),
         "<!-- 人蔘 --><script>人蔘</script>人蔘", "comments and scripts are mark-up"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(markWords(c.page, c.words, LikeComparison::Variants), c.folded) << c.why;
        EXPECT_EQ(markWords(c.page, c.words), c.exact) << c.why << " (exact)";
    }
}

// The marks count what a folded search finds: each form once, however many
// forms the page mixes.
TEST(VariantMarks, CountFollowsTheForms)
{
    QString page;
    const QStringList forms = {"人參", "人蔘", "人参"};
    for (int i = 0; i < 30; ++i)
        page += forms[i % 3] + (i % 4 ? "，" : "<br>");
    const QString marked = markWords(page, {"人参"}, LikeComparison::Variants);
    EXPECT_EQ(marked.count("<font color=red>"), 30);
    EXPECT_EQ(markWords(page, {"人参"}).count("<font color=red>"), 10);
}
