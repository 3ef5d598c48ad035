#include "search/QueryBox.h"

#include "app/forms/Handler.h"

#include <QKeyEvent>
#include <QLineEdit>

namespace Orvanta {

QueryBox::QueryBox(QWidget* parent) : QComboBox(parent)
{
    setEditable(true);
    // The history list is filled by the search button alone, in the order of
    // the clicks: no insertion on Enter, no sorting, no completion.
    setInsertPolicy(QComboBox::NoInsert);
    setDuplicatesEnabled(true);
    setCompleter(nullptr);
}

void QueryBox::setSelection(int start, int length)
{
    if (QLineEdit* edit = lineEdit())
        edit->setSelection(start, length);
}

int QueryBox::selectionStart() const
{
    const QLineEdit* edit = lineEdit();
    if (!edit)
        return 0;
    return edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
}

int QueryBox::selectionLength() const
{
    const QLineEdit* edit = lineEdit();
    return edit ? int(edit->selectedText().size()) : 0;
}

void QueryBox::focusInEvent(QFocusEvent* event)
{
    QComboBox::focusInEvent(event);
    if (onGotFocus)
        runHandler(onGotFocus);
}

void QueryBox::keyPressEvent(QKeyEvent* event)
{
    const QString text = event->text();
    if (!onKeyPress || text.isEmpty()) {
        QComboBox::keyPressEvent(event);
        return;
    }
    // A key whose handler failed goes no further, as the handler stopped
    // where it failed.
    int16_t keyAscii = int16_t(text.at(0).unicode());
    if (runHandler([&] { onKeyPress(keyAscii); }))
        QComboBox::keyPressEvent(event);
}

} // namespace Orvanta
