// Aids to reading and keeping what was found, all in keys and room the
// window's design leaves free: the number of documents found, in the strip
// under the result list beside 異體字; the help page again on F1; the
// current row copied; a search for the text selected in the page, from the
// page's context menu; and the result list saved as a file, from the list's
// context menu. None of them changes a control, caption or key of the design.
#include "search/FrmVelmoraMain.h"

#include "app/forms/Handler.h"
#include "platform/Error.h"
#include "platform/files/FileSystem.h"
#include "platform/files/Paths.h"
#include "platform/ui/DocumentView.h"
#include "platform/ui/Fonts.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/ResultGrid.h"
#include "platform/ui/SaveFileDialog.h"
#include "platform/ui/Twips.h"
#include "search/QueryBox.h"
#include "search/core/ResultListFile.h"
#include "search/core/SelectionQuery.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QStandardPaths>

namespace Orvanta {

namespace {

// The strip under the result list: 異體字 takes its left, the count its right.
constexpr int kCountLeftTwips = 1800;
constexpr int kStripHeightTwips = 390;

} // namespace

QString FrmVelmoraMain::foundCountText(int64_t documents)
{
    const QLocale taiwan(QLocale::Chinese, QLocale::Taiwan);
    return QStringLiteral("找到 %1 筆").arg(taiwan.toString(qlonglong(documents)));
}

QString FrmVelmoraMain::saveResultListCaption()
{
    return QStringLiteral("儲存結果清單…");
}

void FrmVelmoraMain::buildReadingAids()
{
    m_foundCount = new QLabel(this);
    m_foundCount->setObjectName(QStringLiteral("FoundCount"));
    m_foundCount->setFont(designFont(QStringLiteral("新細明體"), 9.75));
    m_foundCount->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_foundCount->setToolTip(QStringLiteral("最近一次搜尋找到的文件數"));
    m_foundCount->setFocusPolicy(Qt::NoFocus);
    placeFoundCount();

    m_grd1->setContextMenuPolicy(Qt::CustomContextMenu);
    connectHandler(m_grd1, &QWidget::customContextMenuRequested, this,
                   [this](const QPoint& at) { showResultListMenu(at); });
    m_lblDesc->onSearchSelection = [this](const QString& selection) {
        runHandler([&] { searchSelection(selection); });
    };
}

void FrmVelmoraMain::placeFoundCount()
{
    // Under the list wherever the list is, as wide as what 異體字 leaves of it.
    const QRect list = m_grd1->geometry();
    const int left = list.left() + px(kCountLeftTwips - 200);
    m_foundCount->setGeometry(left, list.bottom() + 1, std::max(0, list.right() - left), px(kStripHeightTwips));
}

void FrmVelmoraMain::showFoundCount()
{
    m_foundCount->setText(foundCountText(m_grd1->rowCount() - 1));
}

void FrmVelmoraMain::showHelp()
{
    const QString help = Paths::join(Paths::installFolder(), QStringLiteral("Help.htm"));
    // Its links lead on from the help page itself, not from the last document.
    m_lblDesc->setSourceDocument(help);
    m_lblDesc->navigate(help);
}

void FrmVelmoraMain::copyCurrentRow()
{
    const int row = m_grd1->currentRow();
    // The header row names no document, and neither does the list before a
    // search has found rows.
    if (row < 1)
        return;
    const QString title = m_grd1->text(row, 0);
    const QString htm = m_grd1->text(row, 1);
    if (title.isEmpty() && htm.isEmpty())
        return;
    QApplication::clipboard()->setText(title + QLatin1Char('\t') + htm);
}

void FrmVelmoraMain::searchSelection(const QString& selection)
{
    const QString query = queryFromSelection(selection);
    if (query.isEmpty())
        return;
    // As Enter typed in the query box: the window's key handler, then the
    // box's own, which searches; the history list stays as it is.
    m_txtQuery->setEditText(query);
    int16_t keyCode = 13;
    int16_t shift = 0;
    Form_KeyDown(keyCode, shift);
    int16_t keyAscii = 13;
    TxtQuery_KeyPress(keyAscii);
}

bool FrmVelmoraMain::saveResultList(const QString& localPath)
{
    QByteArray file;
    const int rows = m_grd1->rowCount();
    for (int row = 1; row < rows; ++row)
        appendResultListRow(file, m_grd1->text(row, 0), m_grd1->text(row, 1));
    try {
        FileSystem::replaceFileWhole(localPath, file);
    } catch (const Error& error) {
        MessageSink::show(QStringLiteral("Tarsel Orvanta"),
                          resultListNotSavedMessage(QDir::toNativeSeparators(localPath), error.number()));
        return false;
    }
    return true;
}

void FrmVelmoraMain::saveResultListAs()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString path = SaveFileDialog::ask(this, QStringLiteral("儲存結果清單"),
                                             QDir(folder).filePath(QStringLiteral("結果清單.tsv")),
                                             QStringLiteral("Tab 分隔文字檔 (*.tsv);;所有檔案 (*)"));
    if (!path.isEmpty())
        saveResultList(path);
}

void FrmVelmoraMain::showResultListMenu(const QPoint& at)
{
    QMenu menu(this);
    QAction* save = menu.addAction(saveResultListCaption(), this,
                                   [this] { runHandler([this] { saveResultListAs(); }); });
    // The design's two empty rows are no result.
    save->setEnabled(!m_foundCount->text().isEmpty());
    menu.exec(m_grd1->viewport()->mapToGlobal(at));
}

} // namespace Orvanta
