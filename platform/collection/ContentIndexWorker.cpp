#include "platform/collection/ContentIndexWorker.h"

#include <cerrno>

#include <sys/resource.h>
#include <unistd.h>

namespace Orvanta {

namespace {

// Below the program's own, as far as an unprivileged process may go back.
constexpr int LoweredNice = 10;

} // namespace

void ContentIndexWorker::start(const QString& copyPath, Priority priority, Ended ended)
{
    m_stop = false;
    m_thread = std::thread([this, copyPath, priority, ended = std::move(ended)] {
        const auto thread = id_t(::gettid());
        if (priority == Priority::Lowered)
            ::setpriority(PRIO_PROCESS, thread, LoweredNice);
        errno = 0;
        const int nice = ::getpriority(PRIO_PROCESS, thread);
        if (errno == 0)
            m_lastNice = nice;
        ended(ConvertedCopy::addContentIndex(copyPath, [this] { return !m_stop.load(); }));
    });
}

void ContentIndexWorker::stop()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

void ContentIndexWorker::wait()
{
    if (m_thread.joinable())
        m_thread.join();
}

std::optional<int> ContentIndexWorker::lastNice() const
{
    const int nice = m_lastNice;
    if (nice == NoNiceYet)
        return std::nullopt;
    return nice;
}

} // namespace Orvanta
