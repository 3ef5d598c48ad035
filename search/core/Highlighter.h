// Marking the query words of a document page in red, and the file work around
// it that builds the temporary page.
#pragma once

#include "platform/sql/LikeComparison.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace Orvanta {

// The text whose words are marked: for "mod3"/"mod4" characters 2 to 101 of the
// trimmed box text, otherwise the whole trimmed box text.
QString highlightTextFor(const QString& mode, const QString& queryBoxText);

// Every occurrence of each word in the page's text, word after word, wrapped
// in "<font color=red>" ... "</font>": compared by simple case folding, as the
// search compares, with the page's own letters kept inside the mark; left to
// right, no overlap, inserted text not rescanned for the same word, empty
// words ignored. Tags (earlier marks included), comments and scripts are never
// marked (see TextRuns.h); character references ("&#29234;") are read as the
// characters they stand for, as the index reads them, and marked whole. A
// word with "%" or "_" marks the stretches its pattern matches instead
// (PatternStretches.h). With LikeComparison::Variants every variant form of
// a word is marked, as a folded search finds it (VariantMatches.h).
QString markWords(const QString& page, const QStringList& words,
                  LikeComparison comparison = LikeComparison::Exact);

// The document page a row's path names: install + "\" + documentPath, as
// joined everywhere, when that file, with every "..", "\" and link resolved,
// is a file inside the install folder. Empty otherwise: a path that leads out
// of the collection is a missing page, and nothing outside is ever read.
QString documentPageWithin(const QString& installFolder, const QString& documentPath);

// The temporary page for one document: creates install\tmp when missing, reads
// install\documentPath in the encoding it declares (PageCharset.h), marks the
// words of `highlightText`, deletes and rewrites `tmpPage` in that encoding.
// A step that fails is skipped and the next one runs; nothing is ever reported.
// A document path that leads out of the collection reads as a missing page. A
// tmp folder that is a link, or lies outside the collection, is not written
// at all. Returns whether `tmpPage` now holds the new page; `pageBytes`, when
// given, receives the bytes meant for it, so that a caller can put them
// elsewhere.
bool writeMarkedPage(const QString& installFolder, const QString& documentPath,
                     const QString& highlightText, const QString& tmpPage,
                     QByteArray* pageBytes = nullptr, LikeComparison comparison = LikeComparison::Exact) noexcept;

// The same file work with every location given in full: `tmpFolder` is created
// when missing, `documentFile` is read (an empty name reads as a missing page),
// `tmpPage` is rewritten. Lets a second program build the page from an install
// folder without touching its tmp.
//
// Whatever stands at `tmpPage` is removed first, a symbolic link itself and
// never what it points at, and the new page is created where nothing stands:
// a link planted at the name is never written through.
bool writeMarkedPageFiles(const QString& tmpFolder, const QString& documentFile,
                          const QString& highlightText, const QString& tmpPage,
                          QByteArray* pageBytes = nullptr,
                          LikeComparison comparison = LikeComparison::Exact) noexcept;

} // namespace Orvanta
