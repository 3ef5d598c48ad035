// Shared set-up of the search window tests: a scratch install folder with a
// small SQLite collection (jst.mdb with maindata, code page 950 pages, a help
// page), messages and printing recorded instead of shown, and every window
// unloaded and destroyed afterwards.
#pragma once

#include "platform/ui/Printer.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class QAction;
class QMenu;
class QWidget;

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace Orvanta {
class FrmVelmoraMain;
class QueryBox;
}

namespace Orvanta::Test {

struct Document {
    QString subject;
    QString htm;     // relative, "\" separators
    QString content; // searchable text
    QString date;    // ISO text; sorts newest first
    QString page;    // the page's text, written in code page 950 at htm; a null string writes no page
};

struct RecordedMessage {
    QString caption;
    QString text;
};

class SearchWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes jst.mdb (SQLite) and the pages; also sets the connection string.
    void makeCollection(const std::vector<Document>& documents);
    // n documents "標題NNNNN" with pages "<p>頁NNNNN 甲</p>", newest first by number.
    void makeNumberedCollection(int n);

    QString local(const QString& relative) const; // platform path in the install folder
    QByteArray readLocal(const QString& relative) const;
    QString tmpPageLocal() const { return local(QStringLiteral("tmp/TmpVORTAN.htm")); }

    // Loads the search window (load step and first search run).
    FrmVelmoraMain& loadWindow();
    // Shows it and gives it the activation, as a user's window has.
    FrmVelmoraMain& showWindow();

    QTemporaryDir dir;
    QTemporaryDir settingsDir; // the reader's settings (the 異體字 switch): never the real ones
    QString folder;
    std::vector<RecordedMessage> messages;
    RecordingPrinter printer;
};

// Lets pending deferred deletions happen.
void flushDeletions();

// "第" + n + "筆"
QString counterText(int row);

// Types the text into the widget character by character, as key events that
// carry the character (any script, not only what has a key of its own).
void typeText(QWidget* widget, const QString& text);

// The entries of the query box's history list, in order.
QStringList historyOf(const QueryBox& box);

// Opens a context menu with `open`, and hands the menu to `use` from inside
// its own loop; the menu's entries come back.
QStringList useContextMenu(const std::function<void()>& open, const std::function<void(QMenu&)>& use);

// The menu's entry of that text, or null.
QAction* menuEntry(QMenu& menu, const QString& text);

// The head of a collection page that says it is Big5, up to its <body>.
extern const QString kBig5Head;

// A whole Big5 page around `body`.
QString big5Page(const QString& body);

// The key as the user presses it, wherever the focus is.
void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

} // namespace Orvanta::Test
