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

} // namespace Orvanta::FileSystem
