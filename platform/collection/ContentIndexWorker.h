// The background build of a converted copy's content index: a worker thread
// that adds the index into a file of its own, which then replaces the copy.
// A Jet file's copy gets it after the first search, so that the first rows
// never wait for it; the searches scan until it is there.
//
// A window keeps working while the index is built, so there the worker runs
// at a lower priority than the program's own. A command-line search has
// nothing else to do and waits for the build before it ends: there the
// worker keeps the program's priority, or a busy machine would starve it.
#pragma once

#include "platform/collection/ConvertedCopy.h"
#include "platform/collection/SharedCopies.h"

#include <QString>

#include <atomic>
#include <functional>
#include <optional>
#include <thread>

namespace Orvanta {

class ContentIndexWorker {
public:
    using Priority = SharedCopies::IndexBuildPriority;
    // Runs on the worker thread with how the build ended.
    using Ended = std::function<void(ConvertedCopy::IndexOutcome)>;

    ContentIndexWorker() = default;
    ~ContentIndexWorker() { stop(); }
    ContentIndexWorker(const ContentIndexWorker&) = delete;
    ContentIndexWorker& operator=(const ContentIndexWorker&) = delete;

    // A build is due once the first statement has run.
    void setPending(bool pending) { m_pending = pending; }
    bool pending() const { return m_pending; }

    bool started() const { return m_thread.joinable(); }

    // Builds the index of the copy at `copyPath` at `priority`.
    void start(const QString& copyPath, Priority priority, Ended ended);

    // Asks a build under way to give up at its next step (the copy it adds
    // to is of no use any more), without waiting for it.
    void requestStop() { m_stop = true; }
    // Gives the build up and waits until the thread has ended.
    void stop();
    // Waits until the build (if any) has ended.
    void wait();

    // The nice value the last build ran at, once one has started.
    std::optional<int> lastNice() const;

private:
    bool m_pending = false;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    static constexpr int NoNiceYet = -1000;
    std::atomic<int> m_lastNice{NoNiceYet};
};

} // namespace Orvanta
