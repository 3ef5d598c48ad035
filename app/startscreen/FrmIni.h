// The start screen: a picture window with the query button, which opens the
// search window, and the demonstration button, which opens the demonstration
// page in the desktop's browser. Optional pictures in the install folder
// replace the built-in ones when it loads.
#pragma once

#include "app/forms/Form.h"

#include <QPixmap>

#include <functional>

namespace Orvanta {

class PictureButton;

class FrmIni : public Form {
    Q_OBJECT
public:
    FrmIni();

    PictureButton* cmdQuery() const { return m_cmdQuery; }
    PictureButton* cmdSet() const { return m_cmdSet; }
    const QPixmap& picture() const { return m_picture; }

    // What the query button opens: the search window. That window builds on
    // this one (it shows, hides and unloads it), so the program start makes
    // the link; without it the button does nothing.
    static void setSearchWindowOpener(std::function<void()> open);

    // The click handlers.
    void cmdQuery_Click();
    void cmdSet_Click();

protected:
    void Form_Load() override;
    void paintEvent(QPaintEvent* event) override;
    // A maximised state, asked for by the window system's keys or menu, is
    // taken back: the start screen keeps its designed size.
    void changeEvent(QEvent* event) override;

private:
    QPixmap m_picture; // the window's background picture
    PictureButton* m_cmdQuery;
    PictureButton* m_cmdSet;
};

} // namespace Orvanta
