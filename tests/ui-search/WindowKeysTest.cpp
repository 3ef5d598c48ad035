// The window's key handling ahead of its controls, and the query box with
// the search button, driven through the real widgets.
#include "SearchTestSupport.h"

#include "app/forms/Form.h"
#include "platform/ui/PictureButton.h"
#include "platform/ui/ResultGrid.h"
#include "search/FrmVelmoraMain.h"
#include "search/QueryBox.h"

#include "criteria/frmBrowser.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QLineEdit>
#include <QTest>

using namespace Orvanta;
using namespace Orvanta::Test;

namespace {

std::vector<Document> letters()
{
    return {
        {"甲篇", "data\\a.htm", "甲", "1900-01-03", "<p>甲</p>"},
        {"乙篇", "data\\b.htm", "乙", "1900-01-02", "<p>乙</p>"},
        {"甲乙篇", "data\\c.htm", "甲 乙", "1900-01-01", "<p>甲乙</p>"},
    };
}

// A key typed by the user: it goes to whatever has the focus.
void type(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget* target = QApplication::focusWidget();
    ASSERT_NE(target, nullptr);
    QTest::keyClick(target, key, modifiers);
}

} // namespace

class WindowKeysTest : public SearchWindowTest {
protected:
    void SetUp() override
    {
        SearchWindowTest::SetUp();
        makeCollection(letters());
        w = &showWindow();
    }

    // Esc, then the text typed over the selection the focus made.
    void typeQuery(const QString& text)
    {
        type(Qt::Key_Escape);
        QueryBox* box = w->TxtQuery();
        ASSERT_TRUE(box->hasFocus());
        ASSERT_EQ(box->selectionStart(), 0);
        ASSERT_EQ(box->selectionLength(), box->currentText().size()) << "whole text selected";
        QTest::keyClick(box, Qt::Key_Delete);
        if (!text.isEmpty())
            typeText(box, text);
        ASSERT_EQ(box->currentText(), text);
    }

    FrmVelmoraMain* w = nullptr;
};

TEST_F(WindowKeysTest, EnterUpDownGiveTheListTheFocusWhateverTheModifiers)
{
    const std::vector<std::pair<Qt::Key, Qt::KeyboardModifiers>> keys = {
        {Qt::Key_Up, Qt::NoModifier},        {Qt::Key_Down, Qt::NoModifier},
        {Qt::Key_Down, Qt::ShiftModifier},   {Qt::Key_Up, Qt::ControlModifier},
        {Qt::Key_Return, Qt::NoModifier},    {Qt::Key_Return, Qt::ControlModifier},
        {Qt::Key_Enter, Qt::KeypadModifier},
    };
    // From the query box and from the search button. The keys then go on to
    // the control they were typed into, which may do its own thing with them
    // (a button moves the focus on with arrows), so the button is only tried
    // with Enter.
    for (const auto& [key, modifiers] : keys) {
        w->TxtQuery()->setEditText(QStringLiteral("乙"));
        w->TxtQuery()->setFocus();
        ASSERT_TRUE(w->TxtQuery()->hasFocus());
        type(key, modifiers);
        EXPECT_TRUE(w->Grd1()->hasFocus()) << key << " " << int(modifiers);
    }
    for (Qt::KeyboardModifiers modifiers : {Qt::KeyboardModifiers(Qt::NoModifier),
                                            Qt::KeyboardModifiers(Qt::ControlModifier)}) {
        w->Command1()->setFocus();
        ASSERT_TRUE(w->Command1()->hasFocus());
        type(Qt::Key_Return, modifiers);
        EXPECT_TRUE(w->Grd1()->hasFocus()) << int(modifiers);
    }
}

TEST_F(WindowKeysTest, PageAndSideKeysAreLeftToTheControl)
{
    for (Qt::Key key : {Qt::Key_PageUp, Qt::Key_PageDown, Qt::Key_Left, Qt::Key_Right, Qt::Key_F8, Qt::Key_A}) {
        w->TxtQuery()->setFocus();
        type(key);
        EXPECT_TRUE(w->TxtQuery()->hasFocus()) << key;
    }
    // On the list they move its current cell, as its own keys.
    w->Grd1()->setFocus();
    type(Qt::Key_PageDown);
    EXPECT_TRUE(w->Grd1()->hasFocus());
    EXPECT_EQ(w->Grd1()->currentRow(), 3);
    EXPECT_TRUE(printer.steps().isEmpty());
}

TEST_F(WindowKeysTest, EscGivesTheQueryBoxTheFocusWithItsTextSelected)
{
    w->TxtQuery()->setEditText(QStringLiteral("甲 乙"));
    for (QWidget* from : {static_cast<QWidget*>(w->Grd1()), static_cast<QWidget*>(w->Command1())}) {
        from->setFocus();
        type(Qt::Key_Escape, Qt::ShiftModifier);
        EXPECT_TRUE(w->TxtQuery()->hasFocus());
        EXPECT_EQ(w->TxtQuery()->lineEdit()->selectedText(), QStringLiteral("甲 乙"));
    }
    // Typing replaces the selection.
    typeText(w->TxtQuery(), QStringLiteral("乙"));
    EXPECT_EQ(w->TxtQuery()->currentText(), QStringLiteral("乙"));
}

TEST_F(WindowKeysTest, F7PrintsTheCurrentRowsTitle)
{
    w->Grd1()->setFocus();
    w->Grd1()->setCurrentRow(2);
    for (Qt::KeyboardModifiers modifiers : {Qt::KeyboardModifiers(Qt::NoModifier),
                                            Qt::KeyboardModifiers(Qt::ShiftModifier),
                                            Qt::KeyboardModifiers(Qt::ControlModifier)}) {
        printer.clear();
        type(Qt::Key_F7, modifiers);
        EXPECT_EQ(printer.steps(), (QStringList{"size:12", "line:", "line:", "line:乙篇", "end"})) << int(modifiers);
    }
    // From the query box too, once: the key is seen at its first receiver only.
    w->TxtQuery()->setFocus();
    printer.clear();
    type(Qt::Key_F7);
    EXPECT_EQ(printer.steps().count(QStringLiteral("end")), 1);
}

// Enter in the box: the window gives the list the focus, then the box's own
// handler searches; Enter records nothing.
TEST_F(WindowKeysTest, EnterInTheQueryBoxSearches)
{
    typeQuery(QStringLiteral("乙"));
    const QStringList before = historyOf(*w->TxtQuery());
    type(Qt::Key_Return);
    EXPECT_TRUE(w->Grd1()->hasFocus());
    EXPECT_EQ(w->strMode, QStringLiteral("mod3a"));
    EXPECT_EQ(w->Grd1()->rowCount(), 3);
    EXPECT_EQ(historyOf(*w->TxtQuery()), before);
    EXPECT_EQ(w->strQuery, QString());
    EXPECT_EQ(w->strLastQuery, QString());
}

// The search button, its history list and the two special entries, click
// after click.
TEST_F(WindowKeysTest, SearchButtonHistoryAndSpecialEntries)
{
    const QStringList design = {"", "條件存取", "條件清除"};
    ASSERT_EQ(historyOf(*w->TxtQuery()), design);

    enum Action { Click, Enter, ChooseFirstEntry };
    struct Step {
        const char* what;
        Action action;
        QString typed;
        bool searches;      // strSQL rewritten
        int messages;       // empty-result messages
        QString boxAfter;
        QStringList history;
        QString lastQuery;
    };
    const QStringList h1 = design + QStringList{"甲"};
    const QStringList h2 = h1 + QStringList{"乙", "甲"};
    const QStringList h3 = h2 + QStringList{"甲", "甲"};
    const std::vector<Step> steps = {
        {"first click, empty box: lists all, records nothing", Click, "", true, 0, "", design, ""},
        {"a query is recorded", Click, "甲", true, 0, "甲", h1, "甲"},
        {"the same again: not recorded", Click, "甲", true, 0, "甲", h1, "甲"},
        {"甲 乙 甲: three entries", Click, "乙", true, 0, "乙", h1 + QStringList{"乙"}, "乙"},
        {"", Click, "甲", true, 0, "甲", h2, "甲"},
        {"spaces: the trimmed text is recorded, strLastQuery as typed", Click, " 甲 ", true, 0, "甲",
         h2 + QStringList{"甲"}, " 甲 "},
        {"without spaces it differs from strLastQuery", Click, "甲", true, 0, "甲", h3, "甲"},
        {"a search that finds nothing is recorded too", Click, "丙", true, 1, "丙", h3 + QStringList{"丙"}, "丙"},
        {"reset", Click, "條件清除", false, 0, "", design, "丙"},
        {"strLastQuery survived the reset", Click, "丙", true, 1, "丙", design, "丙"},
        {"three spaces: empty search, empty entry", Click, "   ", true, 0, "", design + QStringList{""}, "   "},
        {"special text with Enter is an ordinary search", Enter, "條件清除", true, 1, "條件清除",
         design + QStringList{""}, "   "},
        {"a leading space makes it ordinary", Click, " 條件存取", true, 1, "條件存取",
         design + QStringList{"", "條件存取"}, " 條件存取"},
        {"the empty entry of the list lists all", ChooseFirstEntry, "", true, 0, "",
         design + QStringList{"", "條件存取", ""}, ""},
    };
    for (const Step& s : steps) {
        if (s.action == ChooseFirstEntry) {
            // Picked from the drop-down list with the keyboard.
            QueryBox* box = w->TxtQuery();
            box->showPopup();
            QAbstractItemView* list = box->view();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(list->window()));
            list->setCurrentIndex(box->model()->index(0, 0));
            QTest::keyClick(list, Qt::Key_Return);
            ASSERT_FALSE(list->isVisible());
        } else {
            typeQuery(s.typed);
        }
        messages.clear();
        w->strSQL = QStringLiteral("untouched");
        if (s.action == Enter) {
            type(Qt::Key_Return);
        } else {
            QTest::mouseClick(w->Command1(), Qt::LeftButton);
        }
        EXPECT_EQ(w->strSQL != QStringLiteral("untouched"), s.searches) << s.what;
        EXPECT_EQ(int(messages.size()), s.messages) << s.what;
        EXPECT_EQ(w->TxtQuery()->currentText(), s.boxAfter) << s.what;
        EXPECT_EQ(historyOf(*w->TxtQuery()), s.history) << s.what;
        EXPECT_EQ(w->strLastQuery, s.lastQuery) << s.what;
        if (s.action == Click)
            EXPECT_EQ(w->strQuery, s.typed) << s.what;
    }
}

// 條件存取 with the button opens the criteria editor and searches nothing.
TEST_F(WindowKeysTest, OpenCriteriaEntryShowsTheEditor)
{
    typeQuery(QStringLiteral("條件存取"));
    const QStringList before = historyOf(*w->TxtQuery());
    const int rows = w->Grd1()->rowCount();
    w->strSQL = QStringLiteral("untouched");
    QTest::mouseClick(w->Command1(), Qt::LeftButton);
    EXPECT_EQ(w->strSQL, QStringLiteral("untouched"));
    EXPECT_EQ(w->TxtQuery()->currentText(), QString());
    EXPECT_EQ(historyOf(*w->TxtQuery()), before);
    EXPECT_EQ(w->Grd1()->rowCount(), rows);
    EXPECT_EQ(w->strLastQuery, QString());
    ASSERT_NE(Forms::loaded<frmBrowser>(), nullptr);
    EXPECT_TRUE(Forms::loaded<frmBrowser>()->isVisible());
}
