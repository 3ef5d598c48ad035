// The search window grows: at its designed size every control keeps its
// designed place; beyond it the result list and the document view take the
// room (search/core/GrowingLayout.h), and the divider between them shares
// the extra width. The first run opens as the load step places it; later
// runs open where the reader left the window (its place, size, maximised
// state and divider), unless that place is on no screen any more.
#include "search/FrmVelmoraMain.h"

#include "app/forms/Handler.h"
#include "platform/ui/Divider.h"
#include "platform/ui/DocumentView.h"
#include "platform/ui/ResultGrid.h"
#include "platform/ui/Twips.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QSettings>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace Orvanta {

namespace {

const QString kPlacementKey = QStringLiteral("search/placement"); // frame top-left, client size
const QString kMaximisedKey = QStringLiteral("search/maximised");
const QString kDividerKey = QStringLiteral("search/divider");     // the list's share of the extra width

QSettings settings()
{
    return QSettings(QStringLiteral("Tarsel"), QStringLiteral("Orvanta"));
}

bool fillsWorkArea(const QRect& frame, const QRect& area)
{
    constexpr int kSlack = 2;
    return std::abs(frame.left() - area.left()) <= kSlack && std::abs(frame.top() - area.top()) <= kSlack
           && std::abs(frame.right() - area.right()) <= kSlack && std::abs(frame.bottom() - area.bottom()) <= kSlack;
}

QList<QRect> screenAreas()
{
    QList<QRect> areas;
    for (const QScreen* screen : QGuiApplication::screens())
        areas << screen->availableGeometry();
    return areas;
}

} // namespace

void FrmVelmoraMain::buildDivider()
{
    m_divider = new Divider(this);
    m_divider->setObjectName(QStringLiteral("Divider"));
    m_divider->setGeometry(GrowingLayout::designedDivider(m_grd1->geometry(), m_lblDesc->geometry()));
    connect(m_divider, &Divider::pressed, this, [this] { m_shareAtPress = m_listShare; });
    connectHandler(m_divider, &Divider::dragged, this, [this](int dx) {
        // Only the extra width moves: at the designed size the divider stays.
        m_listShare = GrowingLayout::shareAfterDrag(designedClientSize(), size(), m_shareAtPress, dx);
        applyGrowth();
    });
}

void FrmVelmoraMain::keepDesignedLayout()
{
    GrowingLayout::Rects designed;
    designed.list = m_grd1->geometry();
    designed.view = m_lblDesc->geometry();
    designed.image = m_imgBack->geometry();
    designed.belowList = m_chkVariants->geometry();
    designed.divider = GrowingLayout::designedDivider(designed.list, designed.view);
    m_designed = designed;
    m_designedColumnTwips = m_grd1->columnWidthTwips(0);
    applyGrowth();
}

void FrmVelmoraMain::applyGrowth()
{
    // Before the load step has placed the list, the design data stand as built.
    if (!m_designed)
        return;
    const GrowingLayout::Rects r = GrowingLayout::grown(*m_designed, designedClientSize(), size(), m_listShare);
    m_grd1->setGeometry(r.list);
    m_grd1->setWidthTwips(int(twips(r.list.width())));
    // The titles' column takes the list's extra width; the path column stays hidden.
    m_grd1->setColumnWidthTwips(0, m_designedColumnTwips + int(twips(r.list.width() - m_designed->list.width())));
    m_lblDesc->setGeometry(r.view);
    m_imgBack->setGeometry(r.image);
    m_chkVariants->setGeometry(r.belowList);
    m_divider->setGeometry(r.divider);
}

void FrmVelmoraMain::resizeEvent(QResizeEvent* event)
{
    Form::resizeEvent(event);
    runHandler([this] {
        applyGrowth();
        noteNormalPlacement();
    });
}

void FrmVelmoraMain::moveEvent(QMoveEvent* event)
{
    Form::moveEvent(event);
    noteNormalPlacement();
}

void FrmVelmoraMain::noteNormalPlacement()
{
    if (!isVisible() || (windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen)))
        return;
    // A window manager may report the maximised size a moment before the
    // maximised state; a frame that lies exactly on its screen's work area
    // is taken for that, and the place before it stays the normal one.
    if (const QScreen* on = screen(); on && fillsWorkArea(frameGeometry(), on->availableGeometry()))
        return;
    m_normalPlacement = QRect(pos(), size());
}

void FrmVelmoraMain::restorePlacement()
{
    m_normalPlacement = QRect(pos(), size());
    QSettings saved = settings();
    bool isNumber = false;
    const double share = saved.value(kDividerKey).toDouble(&isNumber);
    m_listShare = isNumber && std::isfinite(share) ? std::clamp(share, 0.0, 1.0) : GrowingLayout::kDefaultListShare;
    const QRect placement = saved.value(kPlacementKey).toRect();
    // Off every screen (a monitor unplugged since), the load step's place stands.
    if (placement.width() > 0 && placement.height() > 0 && GrowingLayout::reachable(placement, screenAreas())) {
        move(placement.topLeft());
        resize(placement.size());
        m_normalPlacement = placement;
        // The place is the reader's, frame and all; the load step's outer
        // size is not applied again once the window is framed.
        m_framed = true;
    }
    if (saved.value(kMaximisedKey, false).toBool()) {
        setWindowState(windowState() | Qt::WindowMaximized);
        m_framed = true;
    }
    applyGrowth();
}

void FrmVelmoraMain::savePlacement() const
{
    if (!m_normalPlacement.isValid())
        return;
    QSettings saved = settings();
    saved.setValue(kPlacementKey, m_normalPlacement);
    saved.setValue(kMaximisedKey, isMaximized());
    saved.setValue(kDividerKey, m_listShare);
}

} // namespace Orvanta
