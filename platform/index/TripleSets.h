// The stored form of the content index's sets of three characters, and its
// reading. A triple's documents are always among those of its two pairs, and
// in formulaic text nearly all of those: 桂枝湯 is in almost every document
// that holds both 桂枝 and 枝湯. So a run's set of a triple is stored as
// whichever is smaller: the documents themselves ('+'), or the documents of
// both pairs that do NOT hold it ('-'), most often none. That keeps the
// triples to a few bytes where an explicit set would double the index, and
// the answer stays exact: reading takes the pairs' sets, which a search has
// at hand anyway. A triple that occurs nowhere in a run has no row there.
//
// Gathering writes explicit sets into temp.orvanta_index_triples_gathered (a
// table of the connection's temporary database, so that the collection's file
// keeps no free pages of it); encode()
// then writes orvanta_index_triples (key as ContentIndex::storedKey, payload =
// the kind byte and the set, behind the checksum) and drops the gathered
// table. It reads each pair's set of the run from orvanta_index_grams.
#pragma once

#include "platform/index/PostingSet.h"

#include <cstdint>

struct sqlite3;

namespace Orvanta::TripleSets {

// Creates the table gathering writes into (after dropping both).
void createGatheredTable(sqlite3* db);
void drop(sqlite3* db);
// Turns the gathered sets into the stored ones; throws Orvanta::Error.
void encode(sqlite3* db);

// The documents of the triple `gram` (ContentIndex::trigram) given the
// documents holding both of its pairs; throws ContentIndex::Unusable.
PostingSet read(sqlite3* db, uint64_t gram, const PostingSet& bothPairs);

} // namespace Orvanta::TripleSets
