// How the system names files: the install folder, paths joined with "\" as the
// collections written on Windows have them, and the mapping of such a path to
// a file on this platform.
#pragma once

#include <QString>

namespace Orvanta::Paths {

// The folder every path of the program is formed from: the collection chosen
// at program start (setInstallFolder), otherwise the folder of the running
// executable, exactly as the platform reports it (no trailing separator
// except for the root, "/").
QString installFolder();

// Makes `folder` the install folder; an empty folder restores the
// executable's folder.
void setInstallFolder(const QString& folder);

// The folder of the running executable, whatever the install folder is.
QString programFolder();

// Tests run the windows against an install folder of their own; an empty
// folder restores the executable's folder.
void setInstallFolderForTesting(const QString& folder);

// folder + "\" + relative, with no other normalisation: a root folder or a
// relative name with a leading "\" gives a doubled separator, as intended.
QString join(const QString& folder, const QString& relative);

// The file on this platform that a system path names: every "\" is a folder
// separator. When that exact path does not exist, each component that is
// missing is looked up letter-case-insensitively in its parent (collections
// copied from Windows keep DATA\A012.HTM as data/a012.htm). A path that cannot
// be resolved comes back with the separators converted and nothing else.
QString toLocal(const QString& systemPath);

// A system path as messages name it to the user: every "\" shown as this
// platform's separator, nothing else changed ("/media/cd\jst.mdb" reads
// "/media/cd/jst.mdb"), and no lookup, so a missing file is named as given.
QString shown(const QString& systemPath);

} // namespace Orvanta::Paths
