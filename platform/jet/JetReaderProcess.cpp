#include "platform/jet/JetReaderProcess.h"

#include "platform/Error.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace Orvanta {

namespace {

constexpr int kPipeSize = 1 << 20;

void setLimit(int resource, rlim_t soft, rlim_t hard)
{
    struct rlimit rl;
    rl.rlim_cur = soft;
    rl.rlim_max = hard;
    ::setrlimit(resource, &rl);
}

} // namespace

JetReaderProcess::JetReaderProcess(const QString& program, const QStringList& arguments,
                                   const JetImport::Limits& limits)
{
    m_deadline = std::chrono::steady_clock::now() + std::chrono::seconds(std::max(1, limits.wallSeconds));

    // Everything the child needs is prepared before fork: between fork and
    // exec only async-signal-safe calls are allowed.
    const QByteArray programPath = QFile::encodeName(program);
    if (::access(programPath.constData(), X_OK) != 0)
        throw Error(ErrorCode::EngineFailure,
                    QStringLiteral("The Jet reader '%1' is missing or cannot be run.").arg(program));
    std::vector<QByteArray> argStore;
    argStore.push_back(programPath);
    for (const QString& a : arguments)
        argStore.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& a : argStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    const rlim_t memory = limits.memoryBytes > 0 ? rlim_t(limits.memoryBytes) : RLIM_INFINITY;
    const rlim_t cpu = limits.cpuSeconds > 0 ? rlim_t(limits.cpuSeconds) : RLIM_INFINITY;

    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0)
        throw Error(ErrorCode::EngineFailure, QStringLiteral("The Jet reader cannot be started: no pipe."));
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        throw Error(ErrorCode::EngineFailure, QStringLiteral("The Jet reader cannot be started: no pipe."));
    }
    // A wide pipe lets the reader run ahead in big blocks.
    ::fcntl(outPipe[1], F_SETPIPE_SZ, kPipeSize);
    const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);

    m_pid = ::fork();
    if (m_pid == 0) {
        ::setpgid(0, 0); // its own group, so that a kill reaches anything it starts
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        setLimit(RLIMIT_AS, memory, memory);
        setLimit(RLIMIT_CPU, cpu, cpu == RLIM_INFINITY ? cpu : cpu + 1);
        setLimit(RLIMIT_CORE, 0, 0); // a crash on a damaged file leaves no core behind
        if (devNull >= 0)
            ::dup2(devNull, STDIN_FILENO);
        ::dup2(outPipe[1], STDOUT_FILENO);
        ::dup2(errPipe[1], STDERR_FILENO);
        // Descriptors the program opened without close-on-exec stay with it.
        if (::syscall(SYS_close_range, 3u, ~0u, 0u) != 0) {
            for (int fd = 3; fd < 1024; ++fd)
                ::close(fd);
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }

    const int forkErrno = errno;
    if (m_pid > 0)
        ::setpgid(m_pid, m_pid); // as the child does: whichever runs first
    if (devNull >= 0)
        ::close(devNull);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    m_out = outPipe[0];
    m_err = errPipe[0];
    if (m_pid < 0) {
        closeFd(m_out);
        closeFd(m_err);
        throw Error(ErrorCode::EngineFailure,
                    QStringLiteral("The Jet reader cannot be started: %1.").arg(QString::fromLocal8Bit(std::strerror(forkErrno))));
    }
}

JetReaderProcess::~JetReaderProcess()
{
    if (!m_reaped && m_pid > 0) {
        kill();
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    closeFd(m_out);
    closeFd(m_err);
}

int JetReaderProcess::remainingMs() const
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(m_deadline - std::chrono::steady_clock::now());
    return left.count() <= 0 ? 0 : int(std::min<qint64>(left.count(), 1000 * 3600));
}

void JetReaderProcess::closeFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// Keeps the first few KB of error output and throws the rest away, so that a
// reader flooding its error output neither blocks nor fills our memory; a
// flood that goes on stops the reader.
void JetReaderProcess::drainErrors()
{
    char chunk[65536];
    const ssize_t n = ::read(m_err, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR)
        return;
    if (n <= 0) {
        closeFd(m_err);
        return;
    }
    QByteArray& text = m_outcome.errorText;
    if (text.size() < kErrorTextCap)
        text.append(chunk, std::min<qsizetype>(n, kErrorTextCap - text.size()));
    m_errorBytes += n;
    if (m_errorBytes > kErrorFloodLimit && !m_flooded) {
        m_flooded = true;
        kill();
    }
}

qint64 JetReaderProcess::read(char* buffer, qint64 max)
{
    while (m_out >= 0) {
        const int wait = remainingMs();
        if (wait <= 0) {
            m_timedOut = true;
            kill();
            return -1;
        }
        pollfd fds[2];
        int count = 0;
        fds[count++] = {m_out, POLLIN, 0};
        if (m_err >= 0)
            fds[count++] = {m_err, POLLIN, 0};
        const int ready = ::poll(fds, nfds_t(count), wait);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            throw Error(ErrorCode::EngineFailure, QStringLiteral("Waiting for the Jet reader failed."));
        }
        if (count > 1 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)))
            drainErrors();
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = ::read(m_out, buffer, size_t(max));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                closeFd(m_out);
                return 0;
            }
            if (n == 0)
                closeFd(m_out);
            return n;
        }
    }
    return 0;
}

void JetReaderProcess::kill()
{
    if (!m_reaped && m_pid > 0) {
        ::kill(-m_pid, SIGKILL);
        ::kill(m_pid, SIGKILL);
    }
}

JetReaderProcess::Outcome JetReaderProcess::finish()
{
    if (m_reaped)
        return m_outcome;

    // Whatever stream is left is of no use now. Collect the error output
    // while waiting for the child; once it is gone, only what is already in
    // the pipe counts.
    closeFd(m_out);
    int status = 0;
    for (;;) {
        const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid)
            break;
        if (r < 0 && errno != EINTR) {
            status = 0;
            break;
        }
        const int wait = remainingMs();
        if (wait <= 0) {
            m_timedOut = true;
            kill();
            while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
            }
            break;
        }
        if (m_err >= 0) {
            pollfd fd{m_err, POLLIN, 0};
            if (::poll(&fd, 1, std::min(wait, 20)) > 0)
                drainErrors();
        } else {
            ::usleep(2000);
        }
    }
    while (m_err >= 0) {
        pollfd fd{m_err, POLLIN, 0};
        if (::poll(&fd, 1, 0) <= 0)
            break;
        drainErrors();
    }
    closeFd(m_err);
    m_reaped = true;

    if (m_flooded) {
        m_outcome.kind = Outcome::Flooded;
        m_outcome.code = SIGKILL;
    } else if (m_timedOut) {
        m_outcome.kind = Outcome::TimedOut;
        m_outcome.code = SIGKILL;
    } else if (WIFSIGNALED(status)) {
        m_outcome.kind = Outcome::Signaled;
        m_outcome.code = WTERMSIG(status);
    } else {
        m_outcome.kind = Outcome::Exited;
        m_outcome.code = WIFEXITED(status) ? WEXITSTATUS(status) : 0;
    }
    return m_outcome;
}

} // namespace Orvanta
