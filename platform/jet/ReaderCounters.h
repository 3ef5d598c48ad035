// How the Jet reader processes ended: how many ran, crashed or were stopped
// for outliving their time, and the most memory one of them held. Tests and
// tools read them; nothing in the program decides anything on them.
//
// One per process, reached through process(): the readers are this process's
// children whichever code started them (a search's conversion, a build, a
// test's own import), and the counts are of all of them.
#pragma once

#include <atomic>

namespace Orvanta::JetImport {

class ReaderCounters {
public:
    struct Counts {
        int runs = 0;
        int crashes = 0;        // ended by a signal that no limit of ours sent
        int timeouts = 0;       // stopped for outliving their wall-time budget
        long peakKilobytes = 0; // the most memory one reader that finished held at once
    };

    static ReaderCounters& process();

    Counts counts() const;
    void reset();

    void countRun(bool crashed, bool timedOut);
    void notePeak(long kilobytes);

private:
    ReaderCounters() = default;

    std::atomic<int> m_runs{0};
    std::atomic<int> m_crashes{0};
    std::atomic<int> m_timeouts{0};
    std::atomic<long> m_peakKilobytes{0};
};

} // namespace Orvanta::JetImport
