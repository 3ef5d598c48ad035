// How the search window's controls take the room of a window larger than its
// design. At the designed client size every control keeps its designed
// rectangle. Beyond it the result list and the document view grow down to
// the bottom edge and share the extra width at the divider between them; the
// strip under the list follows the bottom edge, and the image box stays at
// the view's top-left corner, covered by it. The controls at the top left
// (query box, search button, record counter) never move.
//
// A window smaller than its design keeps the designed rectangles: the window
// manager's frame may leave the client area a few pixels short of the
// design's, and cutting the controls off is what the design itself does.
#pragma once

#include <QList>
#include <QRect>
#include <QSize>

namespace Orvanta::GrowingLayout {

struct Rects {
    QRect list;
    QRect view;
    QRect image;
    QRect belowList; // the strip under the list, as wide as it was designed
    QRect divider;   // between list and view, as tall as the view
};

// The list's share of the extra width while the user has not moved the
// divider: about its share of the two controls' designed widths.
constexpr double kDefaultListShare = 0.3;

// The divider of the designed layout: the gap between the list's right edge
// and the view's left edge, from the view's top to the lower of the two
// bottoms.
QRect designedDivider(const QRect& list, const QRect& view);

// The extra width the list takes (the rest goes to the view).
int listExtra(QSize designedClient, QSize client, double listShare);

Rects grown(const Rects& designed, QSize designedClient, QSize client, double listShare);

// The list's share once the divider was dragged by `dx` pixels from where
// `listShare` put it; the list never gets narrower than designed nor the
// view narrower than designed. Without extra width the share is kept.
double shareAfterDrag(QSize designedClient, QSize client, double listShare, int dx);

// Whether a window placed at `frame` (the window manager's frame included)
// can be reached on one of the screens: its title strip lies on a screen for
// a stretch wide and tall enough to grab with the mouse.
bool reachable(const QRect& frame, const QList<QRect>& screens);

} // namespace Orvanta::GrowingLayout
