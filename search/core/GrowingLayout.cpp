#include "search/core/GrowingLayout.h"

#include <algorithm>
#include <cmath>

namespace Orvanta::GrowingLayout {

namespace {

// A title strip this tall, and this much of it on one screen, can be grabbed.
constexpr int kTitleStrip = 20;
constexpr int kGrabWidth = 60;
constexpr int kGrabHeight = 10;

int extraWidth(QSize designedClient, QSize client)
{
    return std::max(0, client.width() - designedClient.width());
}

int extraHeight(QSize designedClient, QSize client)
{
    return std::max(0, client.height() - designedClient.height());
}

} // namespace

QRect designedDivider(const QRect& list, const QRect& view)
{
    const int left = list.right() + 1;
    const int bottom = std::max(list.bottom(), view.bottom());
    return QRect(QPoint(left, view.top()), QPoint(std::max(left, view.left() - 1), bottom));
}

int listExtra(QSize designedClient, QSize client, double listShare)
{
    const int extra = extraWidth(designedClient, client);
    const double share = std::clamp(std::isfinite(listShare) ? listShare : kDefaultListShare, 0.0, 1.0);
    return int(std::lround(share * extra));
}

Rects grown(const Rects& designed, QSize designedClient, QSize client, double listShare)
{
    const int dx = listExtra(designedClient, client, listShare);
    const int dw = extraWidth(designedClient, client);
    const int dh = extraHeight(designedClient, client);
    Rects r = designed;
    r.list.setWidth(designed.list.width() + dx);
    r.list.setHeight(designed.list.height() + dh);
    r.view.translate(dx, 0);
    r.view.setWidth(designed.view.width() + dw - dx);
    r.view.setHeight(designed.view.height() + dh);
    r.image.translate(dx, 0);
    r.belowList.translate(0, dh);
    r.divider.translate(dx, 0);
    r.divider.setHeight(designed.divider.height() + dh);
    return r;
}

double shareAfterDrag(QSize designedClient, QSize client, double listShare, int dx)
{
    const int extra = extraWidth(designedClient, client);
    if (extra == 0)
        return listShare;
    const int now = listExtra(designedClient, client, listShare);
    const int moved = std::clamp(now + dx, 0, extra);
    return double(moved) / double(extra);
}

bool reachable(const QRect& frame, const QList<QRect>& screens)
{
    const QRect strip(frame.left(), frame.top(), frame.width(), std::min(kTitleStrip, frame.height()));
    return std::any_of(screens.begin(), screens.end(), [&](const QRect& screen) {
        const QRect seen = strip.intersected(screen);
        return seen.width() >= std::min(kGrabWidth, strip.width())
               && seen.height() >= std::min(kGrabHeight, strip.height());
    });
}

} // namespace Orvanta::GrowingLayout
