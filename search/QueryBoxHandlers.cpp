// The query box and the search button: searching, the history list and the
// two special entries.
#include "search/FrmVelmoraMain.h"

#include "criteria/frmBrowser.h"
#include "search/QueryBox.h"

namespace Orvanta {

void FrmVelmoraMain::Command1_Click()
{
    strQuery = m_txtQuery->currentText();
    if (strQuery != specialClearHistory() && strQuery != specialOpenCriteria()) {
        int16_t enter = 13;
        TxtQuery_KeyPress(enter);
        // Only the search button records, and only a query that differs, as
        // typed, from the last one it recorded; the entry is the trimmed text.
        if (strQuery != strLastQuery) {
            m_txtQuery->addItem(m_txtQuery->currentText());
            strLastQuery = strQuery;
        }
    } else {
        m_txtQuery->setEditText(QString());
    }

    if (strQuery == specialOpenCriteria())
        Forms::show<frmBrowser>();

    if (strQuery == specialClearHistory())
        resetHistory();
}

void FrmVelmoraMain::resetHistory()
{
    // Clearing the list would also clear the text field; keep what it shows.
    const QString text = m_txtQuery->currentText();
    m_txtQuery->clear();
    m_txtQuery->addItems({QString(), specialOpenCriteria(), specialClearHistory()});
    m_txtQuery->setEditText(text);
}

void FrmVelmoraMain::TxtQuery_GotFocus()
{
    m_txtQuery->setSelection(0, int(m_txtQuery->currentText().size()));
}

void FrmVelmoraMain::TxtQuery_KeyPress(int16_t& keyAscii)
{
    if (keyAscii == 13)
        RunSearch();
}

} // namespace Orvanta
