// The query box: an editable combo box whose focus and typed characters are
// handed to the search window's handlers.
#pragma once

#include <QComboBox>

#include <cstdint>
#include <functional>

namespace Orvanta {

class QueryBox : public QComboBox {
    Q_OBJECT
public:
    explicit QueryBox(QWidget* parent = nullptr);

    // Runs whenever the box receives the focus, after the box has taken it.
    std::function<void()> onGotFocus;
    // Runs for every character typed while the box has the focus, before the
    // box itself sees the key. The code is the character's (13 for Enter).
    std::function<void(int16_t& keyAscii)> onKeyPress;

    // Selects `length` characters of the text field from `start`.
    void setSelection(int start, int length);
    int selectionStart() const;
    int selectionLength() const;

protected:
    void focusInEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace Orvanta
