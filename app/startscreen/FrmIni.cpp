#include "app/startscreen/FrmIni.h"

#include "app/forms/Handler.h"
#include "app/core/modVelmora.h"
#include "platform/files/FileSystem.h"
#include "platform/files/Paths.h"
#include "platform/ui/Artwork.h"
#include "platform/ui/Launcher.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/PictureButton.h"
#include "platform/ui/Pictures.h"
#include "platform/ui/Twips.h"

#include <QEvent>
#include <QPainter>

namespace Orvanta {

namespace {

// The design's borders around the client area: 60 twips at the sides and
// bottom, 345 at the top (caption included).
constexpr double kSideBorder = 60;
constexpr double kTopBorder = 345;

std::function<void()>& searchWindowOpener()
{
    static std::function<void()> open;
    return open;
}

QString installPath(const QString& name)
{
    return Paths::join(Paths::installFolder(), name);
}

} // namespace

void FrmIni::setSearchWindowOpener(std::function<void()> open)
{
    searchWindowOpener() = std::move(open);
}

FrmIni::FrmIni()
{
    setWindowTitle(QStringLiteral("Tarsel Orvanta"));
    resize(pxSize(12000, 8610));
    // A picture of its own size: the window keeps the designed client area,
    // cannot be resized and has no maximise button.
    setFixedSize(pxSize(12000, 8610));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    m_picture = QPixmap(Artwork::startBackground());

    m_cmdQuery = new PictureButton(this);
    m_cmdQuery->setObjectName(QStringLiteral("cmdQuery"));
    m_cmdQuery->setGeometry(pxRect(8400, 3720, 2100, 735));
    m_cmdQuery->setPicture(QPixmap(Artwork::queryButton()));
    m_cmdQuery->setDownPicture(QPixmap(Artwork::queryButton()));

    m_cmdSet = new PictureButton(this);
    m_cmdSet->setObjectName(QStringLiteral("cmdSet"));
    m_cmdSet->setGeometry(pxRect(8400, 5520, 2100, 735));
    m_cmdSet->setPicture(QPixmap(Artwork::demoButton()));
    m_cmdSet->setDownPicture(QPixmap(Artwork::demoButton()));

    // Enter clicks the focused button, as Space does.
    m_cmdQuery->setClickOnEnter(true);
    m_cmdSet->setClickOnEnter(true);

    // Tab order: the query button first, so it has the focus on opening.
    setTabOrder(m_cmdQuery, m_cmdSet);
    m_cmdQuery->setFocus();

    connectHandler(m_cmdQuery, &QAbstractButton::clicked, this, &FrmIni::cmdQuery_Click);
    connectHandler(m_cmdSet, &QAbstractButton::clicked, this, &FrmIni::cmdSet_Click);
}

void FrmIni::Form_Load()
{
    // Top-left corner of the screen, outer size 12120 x 9015 twips. The
    // window is not on screen yet, so its frame is the design's.
    move(px(0), px(0));
    resize(px(12120) - 2 * px(kSideBorder), px(9015) - px(kTopBorder) - px(kSideBorder));

    modVelmora::gConnStr = modVelmora::connectionStringFor(Paths::installFolder());

    // The marker file only ever makes the demonstration button visible, which
    // it already is.
    if (FileSystem::fileExists(installPath(QStringLiteral("EditMod"))))
        m_cmdSet->setVisible(true);

    const QString background = installPath(QStringLiteral("index.jpg"));
    if (FileSystem::fileExists(background)) {
        m_picture = Pictures::load(background);
        update();
    }

    const QString queryPicture = installPath(QStringLiteral("index-logo1.jpg"));
    if (FileSystem::fileExists(queryPicture)) {
        m_cmdQuery->setPicture(Pictures::load(queryPicture));
        m_cmdQuery->setDownPicture(Pictures::load(queryPicture));
    }

    const QString demoPicture = installPath(QStringLiteral("index-logo2.jpg"));
    if (FileSystem::fileExists(demoPicture)) {
        m_cmdSet->setPicture(Pictures::load(demoPicture));
        m_cmdSet->setDownPicture(Pictures::load(demoPicture));
    }
}

void FrmIni::paintEvent(QPaintEvent*)
{
    // At its natural size from the top-left corner, never scaled; the rest of
    // the client area keeps the default background.
    runHandler([this] {
        QPainter p(this);
        p.drawPixmap(QPoint(0, 0), m_picture);
    });
}

void FrmIni::changeEvent(QEvent* event)
{
    Form::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange
        && (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
        setWindowState(windowState() & ~(Qt::WindowMaximized | Qt::WindowFullScreen));
}

void FrmIni::cmdQuery_Click()
{
    // The search window's first search may unload this window; nothing of it
    // is touched after the show.
    if (searchWindowOpener())
        searchWindowOpener()();
}

void FrmIni::cmdSet_Click()
{
    const QString folder = Paths::installFolder();
    const QString picture = Paths::join(folder, QStringLiteral("index-logo2.jpg"));
    if (!FileSystem::fileExists(picture))
        return;
    m_cmdSet->setPicture(Pictures::load(picture));
    m_cmdSet->setDownPicture(Pictures::load(picture));
    const QString page = Paths::join(folder, QStringLiteral("demo\\index.htm"));
    // Nothing happening is no answer: the user hears which page is missing,
    // or that no browser could show it.
    if (!FileSystem::fileExists(page)) {
        MessageSink::show(QStringLiteral("Tarsel Orvanta"),
                          QStringLiteral("找不到示範網頁「%1」。").arg(Paths::shown(Paths::toLocal(page))));
        return;
    }
    const QString shown = Paths::shown(Paths::toLocal(page));
    Launcher::openInBrowser(page, [shown](int status) {
        MessageSink::show(QStringLiteral("Tarsel Orvanta"),
                          status < 0 ? QStringLiteral("無法啟動瀏覽器來顯示示範網頁「%1」。").arg(shown)
                                     : QStringLiteral("無法啟動瀏覽器來顯示示範網頁「%1」（xdg-open 結束碼 %2）。")
                                           .arg(shown)
                                           .arg(status));
    });
}

} // namespace Orvanta
