// The fixed pages and pictures of an install folder that come with a
// collection.
#pragma once

#include <QString>
#include <QStringList>

namespace Orvanta::Build {

// Help.htm: how to search, shown when the search window opens.
QString helpPage();

// demo\index.htm: the page the start screen's demonstration button opens.
QString demoPage();

// The files writeInstallPages() puts into a folder, relative to it.
QStringList installFileNames();

// Writes both pages into `folder` in code page 950, and the pictures the
// start screen looks for (index.jpg, index-logo1.jpg, index-logo2.jpg).
// Throws Orvanta::Error.
void writeInstallPages(const QString& folder);

} // namespace Orvanta::Build
