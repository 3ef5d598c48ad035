// The search window's design data, load step, unload step and background.
#include "search/FrmVelmoraMain.h"

#include "app/forms/Handler.h"
#include "platform/Progress.h"
#include "platform/files/FileSystem.h"
#include "platform/files/Paths.h"
#include "platform/ui/Artwork.h"
#include "platform/ui/DocumentView.h"
#include "platform/ui/Fonts.h"
#include "platform/ui/Keystrokes.h"
#include "platform/ui/PictureButton.h"
#include "platform/ui/ResultGrid.h"
#include "platform/ui/Twips.h"
#include "search/QueryBox.h"
#include "search/core/PrivatePage.h"

#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <qdrawutil.h>

#include <algorithm>

namespace Orvanta {

namespace {

// The panel picture's bevel along its right and bottom edges, in pixels.
constexpr int kPanelBevel = 6;

// Borders of the design's sizable frame around the client area of
// 12000 x 8730 twips, for an outer size of 12120 x 9100.
constexpr double kSideBorder = 60;
constexpr double kTopBorder = 310;

} // namespace

QString FrmVelmoraMain::caption()
{
    return QStringLiteral("Tarsel Orvanta-目錄瀏覽 & 關鍵字搜尋");
}

QString FrmVelmoraMain::specialOpenCriteria()
{
    return QStringLiteral("條件存取");
}

QString FrmVelmoraMain::specialClearHistory()
{
    return QStringLiteral("條件清除");
}

FrmVelmoraMain::FrmVelmoraMain()
{
    setObjectName(QStringLiteral("FrmVelmoraMain"));
    setWindowTitle(caption());
    setWindowIcon(QIcon(Artwork::icon()));
    setFont(designFont(QStringLiteral("Arial"), 14.25));
    resize(designedClientSize());
    m_picture = QPixmap(Artwork::searchPanel());
    buildControls();
    // Key preview: the window sees every key of its controls before they do.
    qApp->installEventFilter(this);
}

FrmVelmoraMain::~FrmVelmoraMain()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

void FrmVelmoraMain::buildControls()
{
    m_txtQuery = new QueryBox(this);
    m_txtQuery->setObjectName(QStringLiteral("TxtQuery"));
    m_txtQuery->setGeometry(pxRect(240, 240, 3500, 405));
    m_txtQuery->setFont(designFont(QStringLiteral("新細明體"), 14.25, true));
    {
        QPalette palette = m_txtQuery->palette();
        const QColor highlight3d = palette.color(QPalette::Light);
        palette.setColor(QPalette::Base, highlight3d);
        palette.setColor(QPalette::Button, highlight3d);
        palette.setColor(QPalette::Text, QColor(0, 0, 128));
        palette.setColor(QPalette::ButtonText, QColor(0, 0, 128));
        m_txtQuery->setPalette(palette);
    }
    m_txtQuery->addItems({QString(), specialOpenCriteria(), specialClearHistory()});
    m_txtQuery->setEditText(QStringLiteral("TxtQuery"));
    m_txtQuery->setToolTip(QStringLiteral("輸入搜尋的關鍵字例 : 發熱  頭痛 "));
    m_txtQuery->onGotFocus = [this] { TxtQuery_GotFocus(); };
    m_txtQuery->onKeyPress = [this](int16_t& keyAscii) { TxtQuery_KeyPress(keyAscii); };

    m_command1 = new PictureButton(this);
    m_command1->setObjectName(QStringLiteral("Command1"));
    m_command1->setGeometry(pxRect(2630, 690, 1080, 480));
    m_command1->setPicture(QPixmap(Artwork::searchButton()));
    m_command1->setDownPicture(QPixmap(Artwork::searchButton()));
    m_command1->setToolTip(QStringLiteral("多筆關鍵字搜尋ㄦ -->>結果顯示於內容標題區"));
    connectHandler(m_command1, &QAbstractButton::clicked, this, &FrmVelmoraMain::Command1_Click);

    m_ct = new QLabel(QStringLiteral("第100000筆"), this);
    m_ct->setObjectName(QStringLiteral("ct"));
    m_ct->setGeometry(pxRect(238, 730, 1695, 375));
    m_ct->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_ct->setAutoFillBackground(true);
    {
        QPalette palette = m_ct->palette();
        palette.setColor(QPalette::Window, QColor(255, 255, 192));
        // The desktop colour of the system the design comes from: black.
        palette.setColor(QPalette::WindowText, QColor(0, 0, 0));
        m_ct->setPalette(palette);
    }
    m_ct->setToolTip(QStringLiteral("按目錄時可顯示第幾筆"));
    m_ct->setFocusPolicy(Qt::NoFocus);

    m_grd1 = new ResultGrid(this);
    m_grd1->setObjectName(QStringLiteral("Grd1"));
    m_grd1->setFont(designFont(QStringLiteral("Arial"), 14.25));
    m_grd1->setGeometry(pxRect(240, 1200, 3375, 7125));
    connectHandler(m_grd1, &ResultGrid::currentCellChanged, this, &FrmVelmoraMain::Grd1_RowColChange);
    connectHandler(m_grd1, &ResultGrid::gridMouseMove, this, [this](int buttons, int modifiers, float x, float y) {
        // Left, right and middle button are 1, 2 and 4 in both numberings.
        Grd1_MouseMove(int16_t(buttons & 7), int16_t(Keystrokes::shiftState(Qt::KeyboardModifiers(modifiers))), x,
                       y);
    });

    // Lies under the document view and is covered by it; nothing uses it.
    m_imgBack = new QLabel(this);
    m_imgBack->setObjectName(QStringLiteral("imgBack"));
    m_imgBack->setGeometry(pxRect(4080, 600, 135, 135));
    m_imgBack->setFocusPolicy(Qt::NoFocus);

    m_lblDesc = new DocumentView(this);
    m_lblDesc->setObjectName(QStringLiteral("LblDesc"));
    m_lblDesc->setGeometry(pxRect(3830, 225, 8000, 8115));

    buildVariantSwitch();
    buildDivider();
    buildReadingAids();

    setTabOrder(m_grd1, m_command1);
    setTabOrder(m_command1, m_lblDesc);
    setTabOrder(m_lblDesc, m_txtQuery);
    // First in the tab order, the list has the focus when the window opens.
    m_grd1->setFocus(Qt::OtherFocusReason);
}

void FrmVelmoraMain::setOuterGeometryTwips(double top, double left, double height, double width)
{
    // Outer size, frame included. Before the window is on screen its frame is
    // the design's; afterwards the frame the window system gave it.
    QMargins frame(px(kSideBorder), px(kTopBorder), px(kSideBorder), px(kSideBorder));
    if (isVisible() && frameGeometry() != geometry()) {
        const QRect outer = frameGeometry();
        const QRect inner = geometry();
        frame = QMargins(inner.left() - outer.left(), inner.top() - outer.top(),
                         outer.right() - inner.right(), outer.bottom() - inner.bottom());
    }
    move(px(left), px(top));
    resize(px(width) - frame.left() - frame.right(), px(height) - frame.top() - frame.bottom());
}

void FrmVelmoraMain::Form_Load()
{
    // Making the window (the embedded browser above all) may have taken a while.
    Progress::tick();
    strTmpPage = Paths::join(Paths::installFolder(), QStringLiteral("tmp\\TmpVORTAN.htm"));

    setOuterGeometryTwips(0, 0, 9100, 12120);

    // Border style 0 would take the frame away, and with it the only way to
    // close the window with the mouse; the window keeps its frame.

    m_keyPreview = true;

    // The result list and the query box.
    m_grd1->setLeftTwips(200);
    m_grd1->setWidthTwips(3520);
    m_grd1->setColumnWidthTwips(0, 3500);
    m_grd1->setColumnWidthTwips(1, 0);
    m_grd1->setScrollBars(ResultGrid::ScrollBars::Vertical);
    m_grd1->setHeaderText(0, QStringLiteral("內容標題 或 查詢結果"));
    m_txtQuery->move(px(m_grd1->leftTwips()), m_txtQuery->y());
    m_txtQuery->setEditText(QString());
    // What the window grows from.
    keepDesignedLayout();

    m_lblDesc->navigate(Paths::join(Paths::installFolder(), QStringLiteral("Help.htm")));

    RunSearch();

    // Where the reader left the window, when it was open before.
    restorePlacement();
}

void FrmVelmoraMain::Form_Unload()
{
    savePlacement();
    // A temporary page that cannot be deleted stays behind; the window closes
    // all the same and nothing is reported.
    try {
        if (FileSystem::fileExists(strTmpPage))
            FileSystem::deleteFile(strTmpPage);
    } catch (const std::exception&) {
    }
    PrivatePage::remove();
}

QSize FrmVelmoraMain::designedClientSize()
{
    return pxSize(12000, 8730);
}

// A window grown past its panel picture: the picture stays where it is, its
// bevelled right and bottom edges move out to the window's edges and a line
// of the panel just inside them is stretched over the room between, so the
// edge of the picture does not show as a seam across the window.
void FrmVelmoraMain::paintGrownPanel(QPainter& painter) const
{
    const QSize picture = m_picture.size();
    const QMargins bevel(0, 0, std::min(kPanelBevel, picture.width() - 1), std::min(kPanelBevel, picture.height() - 1));
    const QMargins kept(picture.width() - bevel.right() - 1, picture.height() - bevel.bottom() - 1, bevel.right(),
                        bevel.bottom());
    const QRect target(QPoint(0, 0), size().expandedTo(picture));
    qDrawBorderPixmap(&painter, target, kept, m_picture, m_picture.rect(), kept);
}

void FrmVelmoraMain::paintEvent(QPaintEvent*)
{
    runHandler([this] {
        QPainter painter(this);
        if (m_picture.isNull())
            painter.fillRect(rect(), QColor(0xd6, 0xe8, 0xf7));
        else if (width() <= designedClientSize().width() && height() <= designedClientSize().height())
            painter.drawPixmap(QPoint(0, 0), m_picture);
        else
            paintGrownPanel(painter);
    });
}

} // namespace Orvanta
