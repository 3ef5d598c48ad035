// The search window: the query box and the search button at the top left,
// the record counter below them, the result list down the left side and the
// document view on the right.
//
// Its handlers call each other directly, as the window's procedures:
// RunSearch ends in the row-change handler, the search button runs the query
// box's key handler. No handler catches errors: each is entered through the
// handler guard (app/forms/Handler.h), which reports what escapes.
#pragma once

#include "app/forms/Form.h"
#include "platform/sql/LikeComparison.h"
#include "search/core/GrowingLayout.h"

#include <QEvent>
#include <QPixmap>
#include <QPointer>
#include <QSize>
#include <QString>

#include <cstdint>
#include <optional>

class QCheckBox;
class QKeyEvent;
class QPainter;
class QLabel;

namespace Orvanta {

class Divider;
class DocumentView;
class PictureButton;
class QueryBox;
class ResultGrid;

class FrmVelmoraMain : public Form {
    Q_OBJECT
public:
    FrmVelmoraMain();
    ~FrmVelmoraMain() override;

    // Controls.
    QueryBox* TxtQuery() const { return m_txtQuery; }
    PictureButton* Command1() const { return m_command1; }
    QLabel* ct() const { return m_ct; }
    ResultGrid* Grd1() const { return m_grd1; }
    DocumentView* LblDesc() const { return m_lblDesc; }
    QLabel* imgBack() const { return m_imgBack; }
    const QPixmap& picture() const { return m_picture; }
    // The client area the design draws every control in (12000 x 8730 twips).
    static QSize designedClientSize();
    QCheckBox* ChkVariants() const { return m_chkVariants; } // 異體字 (VariantSwitch.cpp)
    Divider* divider() const { return m_divider; }           // between list and view (WindowGrowth.cpp)
    double listShare() const { return m_listShare; }         // the list's share of the extra width
    QLabel* FoundCount() const { return m_foundCount; }      // "找到 N 筆" (ReadingAids.cpp)

    // Window state; every string starts empty at each load.
    QString strTmpPage;   // full path of the temporary page
    QString strQuery;     // the box text at the last click of the search button
    QString strLastQuery; // strQuery of the last click that added a history entry
    QString strSQL;       // the statement of the last search
    QString strMode;      // the mode of the last search that found rows
    int nWord = 0;        // clauses of the last composed statement (no 16-bit bound)

    // Procedures.
    void RunSearch();
    void ShowHits(const QString& documentPath, const QString& highlightText);
    void ShowRowTip(float& x, float& y);

    // Handlers.
    void Form_KeyDown(int16_t& keyCode, int16_t& shift);
    void Grd1_RowColChange();
    void Grd1_MouseMove(int16_t button, int16_t shift, float x, float y);
    void Command1_Click();
    void TxtQuery_GotFocus();
    void TxtQuery_KeyPress(int16_t& keyAscii);
    void ChkVariants_Click();

    // How searches compare words: exactly, or every variant form (the check box).
    LikeComparison comparison() const;
    void toggleVariants(); // F8

    bool keyPreview() const { return m_keyPreview; }

    // Reading aids (ReadingAids.cpp): the help page on F1, the current row
    // copied, a search for the page's selected text, the result list saved.
    void showHelp();
    void copyCurrentRow();
    void searchSelection(const QString& selection);
    // Writes the result list to a local path; false, with the reader told
    // why, when it could not be written.
    bool saveResultList(const QString& localPath);
    void saveResultListAs(); // asks where first
    static QString foundCountText(int64_t documents); // "找到 1,234 筆"
    static QString saveResultListCaption();           // "儲存結果清單…"

    // The exact texts the window shows.
    static QString caption();
    static QString specialOpenCriteria();  // "條件存取"
    static QString specialClearHistory();  // "條件清除"
    static QString variantsCaption();      // "異體字"

protected:
    void Form_Load() override;
    void Form_Unload() override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    // What the reading keys did with a key: nothing, took it, or left it to
    // the find bar without the window's own key handling.
    enum class ReaderKey { None, Taken, FindBar };
    ReaderKey readerKey(const QKeyEvent* key);

    void buildControls();
    void buildVariantSwitch();
    // The window that grows (WindowGrowth.cpp).
    void buildDivider();
    void keepDesignedLayout();
    void applyGrowth();
    void noteNormalPlacement();
    void restorePlacement();
    void savePlacement() const;
    void buildReadingAids();
    void placeFoundCount();
    void showFoundCount();
    void showResultListMenu(const QPoint& at);
    void paintGrownPanel(QPainter& painter) const;
    void printCurrentRow();
    void resetHistory();
    void setOuterGeometryTwips(double top, double left, double height, double width);
    void applyOuterSizeOnceFramed(QEvent::Type type);
    // A key typed while the query box's history list is open; true when it
    // was handled here and the list must not see it.
    bool historyListKey(QKeyEvent* key);

    QueryBox* m_txtQuery = nullptr;
    PictureButton* m_command1 = nullptr;
    QLabel* m_ct = nullptr;
    ResultGrid* m_grd1 = nullptr;
    DocumentView* m_lblDesc = nullptr;
    QLabel* m_imgBack = nullptr;
    QCheckBox* m_chkVariants = nullptr;
    QLabel* m_foundCount = nullptr;
    QPixmap m_picture;
    bool m_keyPreview = true;
    // The key press the window looked at last, at its first receiver.
    struct PreviewedKey {
        const QEvent* event = nullptr;
        quint64 timestamp = 0;
        int key = 0;
        Qt::KeyboardModifiers modifiers;
        QPointer<QWidget> receiver;
    } m_previewedKey;
    // Where the shown page was written when the collection could not take
    // it; empty while strTmpPage holds it.
    QString m_shownPage;
    bool m_pageNowhere = false;     // the last page could be written nowhere
    bool m_pageNowhereSaid = false; // and the user was told, once per run
    bool m_framed = false; // the outer size was applied to the window manager's frame
    // The growing window: the rectangles as the load step left them, the
    // divider, and the last place the window had while neither maximised
    // nor minimised (frame top-left, client size).
    Divider* m_divider = nullptr;
    std::optional<GrowingLayout::Rects> m_designed;
    int m_designedColumnTwips = 0;
    double m_listShare = GrowingLayout::kDefaultListShare;
    double m_shareAtPress = GrowingLayout::kDefaultListShare;
    QRect m_normalPlacement;
};

} // namespace Orvanta
