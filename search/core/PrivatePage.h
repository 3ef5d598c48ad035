// Where the temporary page goes when the collection cannot take it: a
// collection on a CD, a read-only share or one installed by another user.
//
// The page is written to a folder of the user's own ($XDG_RUNTIME_DIR, else
// the cache folder), one file per running program, and carries a <base> that
// names the place it stands in for, the temporary page in the collection's
// tmp folder, so its relative links and pictures resolve exactly as they
// would from there. Nothing is written into the collection.
//
// The folder is the user's alone: made with mode 0700, and one that is a
// link or belongs to another user is never used (the next one is tried). The
// page is written as the temporary page is, never through a link planted at
// its name. Pages of programs that died are cleared at the next start.
#pragma once

#include <QByteArray>
#include <QString>

namespace Orvanta::PrivatePage {

// The user's private folder for pages (local path), made when missing; empty
// when no folder can take pages.
QString folder();

// The private page of this process (local path); empty when there is no
// folder for it.
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

// Deletes the pages that programs no longer running left behind.
void removeLeftovers() noexcept;

// What the user is told, once, when neither the collection's tmp folder (a
// local path) nor a folder of the user's own could take the page.
QString nowhereMessage(const QString& tmpFolder);

} // namespace Orvanta::PrivatePage
