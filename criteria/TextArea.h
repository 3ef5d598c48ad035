// The editor's text area: a plain text editor without line wrapping whose
// text() and setText() speak the criteria text (lines ended by CR LF, lone LF
// an ordinary character; see core/EditorText.h).
#pragma once

#include <QPlainTextEdit>

namespace Orvanta {

class TextArea : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TextArea(QWidget* parent = nullptr);

    QString text() const;
    void setText(const QString& text);
};

} // namespace Orvanta
