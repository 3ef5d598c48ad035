// The file operations the system uses, on system paths (see Paths.h). Text
// files are code page 950. Failures throw Orvanta::Error.
#pragma once

#include <QByteArray>
#include <QString>

namespace Orvanta::FileSystem {

// The existence test: a regular file of that name, not a folder and not
// hidden (on this platform a name that begins with "."). Never opens the file.
bool fileExists(const QString& path);

// True for an existing folder.
bool folderExists(const QString& path);

// Creates one folder; its parent must exist.
void createFolder(const QString& path);

// The whole file as bytes.
QByteArray readBytes(const QString& path);

// The whole file, decoded from code page 950.
QString readTextFile(const QString& path);

// Creates the file or replaces its content, writing the text in code page 950
// ("?" for characters the code page lacks), no byte-order mark.
void writeTextFile(const QString& path, const QString& text);

// Same for bytes.
void writeBytes(const QString& path, const QByteArray& bytes);

// Deletes a file.
void deleteFile(const QString& path);

// Creates the file or replaces it as a whole: the bytes go to a new file
// beside it that takes the name only once it is complete, so a failure
// (no room, no permission) leaves the old file, or none, and no part of the
// new one.
void replaceFileWhole(const QString& path, const QByteArray& bytes);

// The three steps that put a page where a planted link could wait: whatever
// stands at the name (a file, or a symbolic link, dangling or not) is removed
// itself, never what a link points at; the new file is created only where
// nothing stands; and it is written only while it is still a plain file.

// Removes whatever stands at `path` but a folder. Nothing there is no error.
void removeEntry(const QString& path);

// Creates an empty file where nothing stands yet; a file or a link already
// there fails it.
void createNewFile(const QString& path);

// Replaces the content of an existing file; never creates one, never writes
// through a symbolic link.
void overwriteFile(const QString& path, const QByteArray& bytes);

} // namespace Orvanta::FileSystem
