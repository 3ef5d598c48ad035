// The collection the program opens, chosen before the start screen loads: the
// folder given on the command line, the program's own folder when it holds
// jst.mdb, the one remembered from the last choice, or one the user picks in
// a folder chooser. A folder that cannot be opened gets a message naming it
// and the chooser opens again.
#pragma once

#include <QString>

#include <functional>

namespace Orvanta::CollectionChoice {

// The install folder to open, or an empty string when the user closed the
// chooser without choosing. `commandLineFolder` is empty when none was given.
// A folder picked in the chooser is remembered for the next start.
QString installFolder(const QString& commandLineFolder);

// The chooser's title.
QString chooserTitle();

// Tests answer the chooser themselves: the function gets the folder the
// chooser would start in and returns the folder picked ("" for cancel). An
// empty function restores the folder dialog.
using Chooser = std::function<QString(const QString& startFolder)>;
void setChooserForTesting(Chooser chooser);

// The settings key under which the last chosen collection is kept.
QString rememberedKey();

} // namespace Orvanta::CollectionChoice
