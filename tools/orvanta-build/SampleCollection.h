// A synthetic collection for trying the program and measuring it: pages in the
// style of the classical medical texts, in code page 950, with their jst.mdb.
// The same count always gives the same bytes, and document i is the same
// whatever the count.
#pragma once

#include <QString>

namespace Orvanta::Build {

constexpr qint64 kMaxSampleDocuments = 1'000'000;

struct SampleSummary {
    qint64 documents = 0;
    qint64 pageBytes = 0;
};

// Writes folder/data/NNN/sNNNNNN.htm for documents 0 to count - 1, Help.htm,
// demo/index.htm, the start screen's pictures and jst.mdb (rows straight from
// the generator, not read back from the pages). Throws Orvanta::Error, among
// others when the folder already holds a jst.mdb (of any kind) or one of the
// other files and `force` is not given. Without `contentIndex`, jst.mdb has
// no content index.
SampleSummary writeSampleCollection(const QString& folder, qint64 count, bool force, bool contentIndex = true);

} // namespace Orvanta::Build
