// What follows a change of the result list's current cell: the marked
// document, the record counter and the start screen; and the list's tooltip.
#include "search/FrmVelmoraMain.h"

#include "app/startscreen/FrmIni.h"
#include "platform/files/Paths.h"
#include "platform/ui/DocumentView.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/ResultGrid.h"
#include "search/QueryBox.h"
#include "search/core/Highlighter.h"
#include "search/core/PrivatePage.h"
#include "search/core/RowTip.h"

#include <QLabel>

namespace Orvanta {

namespace {

bool marksFromSecondCharacter(const QString& mode)
{
    return mode == QLatin1String("mod3") || mode == QLatin1String("mod4");
}

} // namespace

void FrmVelmoraMain::Grd1_RowColChange()
{
    const int row = m_grd1->currentRow();
    const QString documentPath = m_grd1->text(row, 1);
    // The box as it reads now, with the mode of the last search that found rows.
    const QString highlightText = highlightTextFor(strMode, m_txtQuery->currentText());
    ShowHits(documentPath, highlightText);
    m_ct->setText(QStringLiteral("第") + QString::number(row) + QStringLiteral("筆"));

    if (!marksFromSecondCharacter(strMode)) {
        if (row != 0) {
            if (Forms::loaded<FrmIni>()) {
                Forms::hide<FrmIni>();
                Forms::unload<FrmIni>();
            }
        } else {
            Forms::show<FrmIni>();
        }
    }

    // Also when no page could be written: the view then shows what it shows
    // for a missing file, or the page that is still there.
    m_lblDesc->setSourceDocument(Paths::join(Paths::installFolder(), documentPath));
    if (m_shownPage.isEmpty())
        m_lblDesc->navigate(strTmpPage);
    else
        m_lblDesc->navigate(m_shownPage, strTmpPage);

    // A blank view with no word would look like an empty document: once per
    // run, the user is told that no folder could take the page.
    if (m_pageNowhere && !m_pageNowhereSaid) {
        m_pageNowhereSaid = true;
        MessageSink::show(QStringLiteral("Tarsel Orvanta"),
                          PrivatePage::nowhereMessage(Paths::toLocal(Paths::join(Paths::installFolder(), QStringLiteral("tmp")))));
    }
}

void FrmVelmoraMain::ShowHits(const QString& documentPath, const QString& highlightText)
{
    // Every failing step is skipped; nothing comes back from here.
    QByteArray page;
    m_shownPage.clear();
    m_pageNowhere = false;
    if (writeMarkedPage(Paths::installFolder(), documentPath, highlightText, strTmpPage, &page, comparison()))
        return;
    // A collection that cannot be written (a CD, a read-only share, one
    // installed by another user) would leave the view blank: the page goes to
    // the user's own folder instead, standing in for the temporary page.
    m_shownPage = PrivatePage::write(page, strTmpPage);
    m_pageNowhere = m_shownPage.isEmpty();
}

void FrmVelmoraMain::Grd1_MouseMove(int16_t, int16_t, float x, float y)
{
    ShowRowTip(x, y);
}

void FrmVelmoraMain::ShowRowTip(float&, float& y)
{
    const int rowHeight = m_grd1->rowHeightTwips(1);
    const int rowTop = m_grd1->rowTopTwips(1);
    const int64_t row = rowTipRow(rowHeight, rowTop, y);
    // Outside the rows of the list (the empty area below a short list) there
    // is nothing to name: no tooltip, rather than a title left over from
    // another row or another search.
    if (row >= 0 && row < m_grd1->rowCount())
        m_grd1->setToolTipText(m_grd1->text(int(row), 0));
    else
        m_grd1->setToolTipText(QString());
}

} // namespace Orvanta
