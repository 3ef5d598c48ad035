// Functions the document database adds to every SQLite connection it opens.
#pragma once

struct sqlite3;

namespace Orvanta {

// Replaces SQLite's LIKE (two and three arguments) by the LikeMatcher, so that
// "content like '%word%'" folds case by Unicode rules and never uses an index.
// Also adds orvanta_like_any(text, packed patterns) and orvanta_like_all(...),
// which the translation uses for long chains of LIKEs on one column.
// Returns an SQLite result code.
int registerLikeFunction(sqlite3* db);

// Makes the LIKEs of a connection set up by registerLikeFunction() compare
// variant-folded text (VariantLike.h) until it is switched off again: the
// folded search runs the same statement with this on. Returns an SQLite
// result code.
int setLikeVariants(sqlite3* db, bool on);

} // namespace Orvanta
