#include "platform/jet/ReaderCounters.h"

namespace Orvanta::JetImport {

ReaderCounters& ReaderCounters::process()
{
    static ReaderCounters counters;
    return counters;
}

ReaderCounters::Counts ReaderCounters::counts() const
{
    return {m_runs.load(), m_crashes.load(), m_timeouts.load(), m_peakKilobytes.load()};
}

void ReaderCounters::reset()
{
    m_runs = 0;
    m_crashes = 0;
    m_timeouts = 0;
    m_peakKilobytes = 0;
}

void ReaderCounters::countRun(bool crashed, bool timedOut)
{
    ++m_runs;
    if (crashed)
        ++m_crashes;
    if (timedOut)
        ++m_timeouts;
}

void ReaderCounters::notePeak(long kilobytes)
{
    long peak = m_peakKilobytes.load();
    while (kilobytes > peak && !m_peakKilobytes.compare_exchange_weak(peak, kilobytes)) {
    }
}

} // namespace Orvanta::JetImport
