// The built-in pictures, compiled into the program as resources.
#pragma once

#include <QString>

namespace Orvanta::Artwork {

// Start screen: background (800 x 580) and the two buttons' pictures (170 x 60).
inline QString startBackground() { return QStringLiteral(":/assets/background.jpg"); }
inline QString queryButton() { return QStringLiteral(":/assets/query-button.jpg"); }
inline QString demoButton() { return QStringLiteral(":/assets/demo-button.jpg"); }

// The icon of every window (64 x 64).
inline QString icon() { return QStringLiteral(":/assets/icon.png"); }

// Search window: the search button's picture (67 x 28) and the panel (800 x 580).
inline QString searchButton() { return QStringLiteral(":/assets/search-button.gif"); }
inline QString searchPanel() { return QStringLiteral(":/assets/search-panel.jpg"); }

} // namespace Orvanta::Artwork
