// Which folder the program opens as its install folder, and what is wrong
// with a folder that cannot be one. The program's own folder serves when it
// holds a collection; otherwise the folder given on the command line, the one
// remembered from the last choice, or one the user picks.
#pragma once

#include <QString>

namespace Orvanta::CollectionFolder {

enum class Problem {
    None,
    Missing,     // nothing of that name
    NotAFolder,  // a file, say
    Unreadable,  // a folder whose entries cannot be listed
    NoDatabase,  // a folder without jst.mdb
};

// What keeps `folder` (a local path) from being an install folder.
Problem check(const QString& folder);

// The message the user sees for a folder that cannot be opened; names it.
QString message(Problem problem, const QString& folder);

// A folder named on the command line, made absolute against the current
// folder and without a trailing separator (the root stays "/").
QString absolute(const QString& folder);

} // namespace Orvanta::CollectionFolder
