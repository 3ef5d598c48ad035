// Functions the document database adds to every SQLite connection it opens.
#pragma once

struct sqlite3;

namespace Orvanta {

// Replaces SQLite's LIKE (two and three arguments) by the LikeMatcher, so that
// "content like '%word%'" folds case by Unicode rules and never uses an index.
// Returns an SQLite result code.
int registerLikeFunction(sqlite3* db);

} // namespace Orvanta
