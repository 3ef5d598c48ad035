// Typing in the editor's lists: which name the list jumps to.
#include "criteria/core/TypeAhead.h"

#include <gtest/gtest.h>

using namespace Orvanta;

TEST(TypeAhead, FindsTheNameTyped)
{
    const QStringList names{"/", "home", "user", "Apple", "apricot", "banana", "Berry", "b2", "條件"};
    struct Case {
        const char* what;
        int current;
        QString typed;
        int row;
    };
    const Case cases[] = {
        {"nothing typed", 2, "", -1},
        {"first letter, from the top", -1, "a", 3},
        {"first letter, letter case ignored", 0, "A", 3},
        {"the same letter again steps on", 3, "a", 4},
        {"the letter typed twice in one run steps on", 3, "aa", 4},
        {"and round to the top", 4, "a", 3},
        {"a longer prefix stays on the current name when it fits", 3, "ap", 3},
        {"a longer prefix moves on to the name that fits", 3, "apr", 4},
        {"a prefix is looked for round to the top", 6, "ho", 1},
        {"no name fits: the list stays", 2, "x", -1},
        {"a prefix that fits nothing does not fall back to its first letter", 2, "bx", -1},
        {"a letter typed twice that no name starts with twice steps on", 5, "bb", 6},
        {"digits", 5, "b2", 7},
        {"Chinese names", 0, "條", 8},
        {"the root", 5, "/", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(TypeAhead::find(names, c.current, c.typed), c.row);
    }
    EXPECT_EQ(TypeAhead::find({}, -1, "a"), -1) << "an empty list";
}

TEST(TypeAhead, APauseStartsANewRun)
{
    struct Step {
        QString text;
        qint64 at;
        QString run;
    };
    const Step steps[] = {
        {"a", 1000, "a"}, {"p", 1200, "ap"}, {"r", 1600, "apr"}, // within 400 ms each
        {"b", 2500, "b"},                                       // after a pause
        {"e", 2900, "be"},                                      // exactly the interval: same run
        {"x", 3301, "x"},                                       // just past it
    };
    TypeAhead::Run run;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.at);
        EXPECT_EQ(run.add(s.text, s.at, 400), s.run);
    }
}
