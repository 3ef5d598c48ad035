// What an X server's screen really shows, read from the server itself with
// GetImage on the root window. xwd is no guide here: it reads each window
// with a colormap of its own separately, and a Qt window over another one
// came out as a black rectangle although the screen showed it drawn.
#pragma once

#include <QImage>
#include <QRect>
#include <QString>
#include <QStringList>

namespace Orvanta::E2E {

// The whole screen of `display` (":N"); a null image when it cannot be read.
QImage grabScreen(const QString& display);

// Where a window lies on the screen, without its frame; empty when it is gone.
QRect windowRect(const QString& display, const QString& window);

// Ids of the top-level windows on screen (viewable children of the root,
// frames of a window manager included), bottom first.
QStringList viewableTopLevels(const QString& display);

// Whether the part of the image shows something drawn: not black, and not
// one flat colour.
bool looksPainted(const QImage& image);

} // namespace Orvanta::E2E
