#include "criteria/TextArea.h"

#include "criteria/core/EditorText.h"

#include <QTextDocument>

namespace Orvanta {

TextArea::TextArea(QWidget* parent) : QPlainTextEdit(parent)
{
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setTabChangesFocus(false);
}

QString TextArea::text() const
{
    // The raw text keeps non-breaking spaces that toPlainText() would turn
    // into blanks.
    return EditorText::fromWidget(document()->toRawText());
}

void TextArea::setText(const QString& text)
{
    setPlainText(EditorText::toWidget(text));
}

} // namespace Orvanta
