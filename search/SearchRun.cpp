// The search routine of the search window: compose the statement from the
// query box, run it, and fill the result list.
#include "search/FrmVelmoraMain.h"

#include "app/core/modVelmora.h"
#include "platform/ui/Keystrokes.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/ResultGrid.h"
#include "search/QueryBox.h"
#include "search/core/QueryComposer.h"
#include "search/core/SearchExecution.h"

namespace Orvanta {

void FrmVelmoraMain::RunSearch()
{
    // The box shows the trimmed text from here on, whatever the search finds.
    const ComposedQuery query = composeQuery(m_txtQuery->currentText());
    m_txtQuery->setEditText(query.trimmed);
    strSQL = query.sql;
    if (query.mode != QLatin1String("mod1"))
        nWord = query.wordCount;

    QString damageWarning;
    const std::shared_ptr<const ResultTable> rows
        = executeSearch(modVelmora::gConnStr, strSQL, &damageWarning, comparison(), true);
    // A damaged collection opened with what could be read: said once per
    // opening of the file, before anything about the search itself.
    if (!damageWarning.isEmpty())
        MessageSink::show(QStringLiteral("Tarsel Orvanta"), damageWarning);
    if (!rows) {
        // Nothing changes: list, current cell, mode and document stay.
        MessageSink::show(QStringLiteral("Tarsel Orvanta"), emptyResultMessage(query.escaped));
        return;
    }

    m_grd1->bind(rows);
    showFoundCount();
    m_grd1->setHeaderText(0, QStringLiteral(" 內容標題 或 查詢結果"));
    m_grd1->setHeaderText(1, QStringLiteral("位置"));
    m_grd1->setCurrentRow(1);
    m_grd1->setCurrentColumn(1);

    if (query.mode == QLatin1String("mod1")) {
        m_grd1->setCurrentRow(int(mod1Position(*rows, query.escaped)));
        // While the window is still loading it is not on screen, and a control
        // of a window that is not shown gets no focus.
        if (m_grd1->isVisibleForFocus())
            m_grd1->takeFocus();
        // Page Down and back scrolls the list to its top as the user would;
        // the Page Up is handled once this routine has returned.
        Keystrokes::sendPageDown();
        Keystrokes::processPendingEvents();
        Keystrokes::sendPageUp();
    } else {
        m_grd1->takeFocus();
    }

    strMode = query.mode;
    Grd1_RowColChange();
}

} // namespace Orvanta
