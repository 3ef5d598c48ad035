// The fixed pages of an install folder that come with a collection.
#pragma once

#include <QString>

namespace Orvanta::Build {

// Help.htm: how to search, shown when the search window opens.
QString helpPage();

// demo\index.htm: the page the start screen's demonstration button opens.
QString demoPage();

// Writes both into `folder` in code page 950. Throws Orvanta::Error.
void writeInstallPages(const QString& folder);

} // namespace Orvanta::Build
