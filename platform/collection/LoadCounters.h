// How Jet files were made available to the searches since the counters were
// last reset: read through the Jet reader, restored from a converted copy,
// shared with a connection already open. Tests and tools read them to tell a
// conversion from a reuse; nothing in the program decides anything on them.
//
// One instance lives in the registry of shared copies (SharedCopies.h), which
// is process-wide; the conversion and the index worker are handed a reference
// to it rather than reaching for it.
#pragma once

#include <atomic>

namespace Orvanta {

class LoadCounters {
public:
    struct Counts {
        int readerLoads = 0;         // read through the Jet reader
        int copiesRestored = 0;      // taken from the converted copy on disk
        int copiesStored = 0;        // converted copies written
        int sharedReuses = 0;        // an open database reused by a new connection
        int contentIndexesAdded = 0; // converted copies that got their content index
    };

    Counts counts() const;
    void reset();

    void countReaderLoad() { ++m_readerLoads; }
    void countCopyRestored() { ++m_copiesRestored; }
    void countCopyStored() { ++m_copiesStored; }
    void countSharedReuse() { ++m_sharedReuses; }
    void countContentIndexAdded() { ++m_contentIndexesAdded; }

private:
    // Atomic: the index worker counts from its own thread.
    std::atomic<int> m_readerLoads{0};
    std::atomic<int> m_copiesRestored{0};
    std::atomic<int> m_copiesStored{0};
    std::atomic<int> m_sharedReuses{0};
    std::atomic<int> m_contentIndexesAdded{0};
};

} // namespace Orvanta
