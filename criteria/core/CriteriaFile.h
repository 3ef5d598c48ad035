// Criteria files: the user's saved search criteria, plain code page 950 text
// files named *.txt or *.set anywhere on disk. Loading and saving follow the
// editor's rules; nothing else in the program reads these files.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace Orvanta::CriteriaFile {

// The file list's path and selected name as one path: the folder, "/" unless
// the folder already ends with one (the root), then the name. An empty name
// gives the folder itself with its trailing "/".
QString fullPath(const QString& folder, const QString& fileName);

// The text area's text for a file: every line (a line ends at CR or CR LF; a
// lone LF stays inside the line) followed by CR LF. An empty file gives "".
// Throws Orvanta::Error naming the path when the file cannot be read.
QString load(const QString& path);

// The bytes a save writes for a text: code page 950 ("?" for characters the
// code page lacks), and a CR LF after the last line unless the text already
// ends with one. Every loaded text ends with one, so saving it unedited gives
// back the same lines; an empty text gives an empty file.
QByteArray fileBytes(const QString& text);

// How many characters of the text a save would write as "?".
qsizetype unsavableCharacters(const QString& text);

// Whether saving into `selected` would overwrite the content of a file that
// is not the one the text came from (`loaded`, empty when none): true when
// `selected` is a file with content and another file than `loaded`. Saving
// into the loaded file, or into a new or empty file, loses nothing.
bool overwritesAnotherFile(const QString& selected, const QString& loaded);

// Replaces the file's content with fileBytes(text); creates it when missing.
// The new content goes to a temporary file beside it that replaces the old
// file only once it is written completely, so a failure at any point leaves
// the old file whole. The replacement keeps the file's permissions and owner.
// Where a replacement would lose something, the file is written in place
// instead: when its folder may not be written (but the file may), when it
// has other hard links, and when its owner could not be kept.
// Throws Orvanta::Error naming the path: a folder or a path ending in "/"
// (no file selected) -> PathFileAccessError; a read-only file (no write
// permission bit, whoever runs the program) or an unwritable folder ->
// PermissionDenied; no room -> DiskFull; a missing folder -> PathNotFound.
void save(const QString& path, const QString& text);

// The names of the files directly in `folder` that the file list shows:
// *.txt and *.set in any letter case, hidden files left out, sorted by name
// ignoring letter case. An unreadable or missing folder lists nothing.
QStringList listFiles(const QString& folder);

} // namespace Orvanta::CriteriaFile
