// Where the temporary page goes when the collection cannot take it: a
// collection on a CD, a read-only share or one installed by another user.
//
// The page is written to a folder of the user's own ($XDG_RUNTIME_DIR, else
// the cache folder), one file per running program, and carries a <base> that
// names the place it stands in for, the temporary page in the collection's
// tmp folder, so its relative links and pictures resolve exactly as they
// would from there. Nothing is written into the collection.
#pragma once

#include <QByteArray>
#include <QString>

namespace Orvanta::PrivatePage {

// The user's private folder for pages (local path; may not exist yet).
QString folder();

// The private page of this process (local path).
QString path();

// `page` with a <base href> for `placeFile` (a local path) put where a
// browser takes it: after the opening <head> tag, else after <html>, else
// after a leading doctype, else at the very start (after a byte-order mark).
QByteArray withBase(const QByteArray& page, const QString& placeFile);

// Writes `page`, with its base set to `place` (the system path of the
// temporary page it stands in for), to the private page; returns its path,
// or an empty string when that failed too.
QString write(const QByteArray& page, const QString& place) noexcept;

// Deletes the private page of this process, if there is one.
void remove() noexcept;

} // namespace Orvanta::PrivatePage
