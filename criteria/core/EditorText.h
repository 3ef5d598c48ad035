// The criteria text as the editor's text area holds it. The text is a string
// of lines ended by CR LF, in which a lone LF is an ordinary character; the
// editing widget knows only line breaks. A lone LF (or CR) is therefore shown
// as its control picture (U+240A, U+240D) inside the line, and turned back on
// the way out. Those pictures have no code in code page 950, so no text that
// could be saved faithfully is changed by the mapping.
#pragma once

#include <QString>

namespace Orvanta::EditorText {

// Text -> the widget's plain text: CR LF -> "\n", lone LF -> U+240A,
// lone CR -> U+240D.
QString toWidget(const QString& text);

// The widget's text back: line breaks ("\n", U+2029, U+2028) -> CR LF,
// U+240A -> LF, U+240D -> CR.
QString fromWidget(const QString& widgetText);

} // namespace Orvanta::EditorText
