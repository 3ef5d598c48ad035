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

// What the command line names, as the folder to open: absolute(), except
// that a file named jst.mdb (any letter case) stands for its folder. A file
// manager opens the database with "orvanta FILE", and the user meant the
// collection around it.
QString commandLineFolder(const QString& given);

} // namespace Orvanta::CollectionFolder
