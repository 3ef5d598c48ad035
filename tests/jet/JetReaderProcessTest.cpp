// The child process under its bounds, with stand-in programs that crash,
// hang, spin or flood their error output the way a reader on a damaged file
// can.
#include "platform/Error.h"
#include "platform/jet/JetReaderProcess.h"

#include <gtest/gtest.h>

#include <csignal>

using namespace Orvanta;

namespace {

struct ChildRun {
    QByteArray stream;
    bool timedOut = false;
    JetReaderProcess::Outcome outcome;
};

ChildRun runShell(const QString& script, int wallSeconds = 10, int cpuSeconds = 10)
{
    JetImport::Limits limits;
    limits.memoryBytes = qint64(512) << 20;
    limits.cpuSeconds = cpuSeconds;
    limits.wallSeconds = wallSeconds;
    JetReaderProcess process(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script}, limits);
    ChildRun run;
    char buf[65536];
    for (;;) {
        const qint64 n = process.read(buf, sizeof buf);
        if (n < 0)
            run.timedOut = true;
        if (n <= 0)
            break;
        run.stream.append(buf, n);
    }
    run.outcome = process.finish();
    return run;
}

} // namespace

TEST(JetReaderProcess, StreamAndExitCode)
{
    ChildRun run = runShell(QStringLiteral("printf 'abc'; echo note >&2; exit 0"));
    EXPECT_EQ(run.stream, QByteArray("abc"));
    EXPECT_EQ(run.outcome.kind, JetReaderProcess::Outcome::Exited);
    EXPECT_EQ(run.outcome.code, 0);
    EXPECT_EQ(run.outcome.errorText, QByteArray("note\n"));

    run = runShell(QStringLiteral("exit 3"));
    EXPECT_EQ(run.outcome.kind, JetReaderProcess::Outcome::Exited);
    EXPECT_EQ(run.outcome.code, 3);
}

TEST(JetReaderProcess, CrashIsSeen)
{
    const ChildRun run = runShell(QStringLiteral("printf 'part'; kill -SEGV $$"));
    EXPECT_EQ(run.stream, QByteArray("part"));
    EXPECT_EQ(run.outcome.kind, JetReaderProcess::Outcome::Signaled);
    EXPECT_EQ(run.outcome.code, SIGSEGV);
}

TEST(JetReaderProcess, HangIsStoppedAtTheWallTime)
{
    const ChildRun run = runShell(QStringLiteral("sleep 60"), 1);
    EXPECT_TRUE(run.timedOut);
    EXPECT_EQ(run.outcome.kind, JetReaderProcess::Outcome::TimedOut);
}

TEST(JetReaderProcess, SpinningIsStoppedByTheCpuLimit)
{
    const ChildRun run = runShell(QStringLiteral("while :; do :; done"), 20, 1);
    EXPECT_EQ(run.outcome.kind, JetReaderProcess::Outcome::Signaled);
    EXPECT_TRUE(run.outcome.code == SIGXCPU || run.outcome.code == SIGKILL) << run.outcome.code;
}

TEST(JetReaderProcess, ErrorOutputIsCappedAndDoesNotBlock)
{
    // Half a MB of error output, more than a pipe holds, then the stream: the
    // child must not block on a full error pipe, and only a few KB are kept.
    const ChildRun run = runShell(QStringLiteral("head -c 500000 /dev/zero | tr '\\0' x >&2; printf done"));
    EXPECT_EQ(run.stream, QByteArray("done"));
    EXPECT_EQ(run.outcome.kind, JetReaderProcess::Outcome::Exited);
    EXPECT_EQ(run.outcome.errorText.size(), JetReaderProcess::kErrorTextCap);
    EXPECT_TRUE(run.outcome.errorText.startsWith("xxxx"));
}

TEST(JetReaderProcess, EndlessErrorFloodStopsTheChild)
{
    const ChildRun run = runShell(QStringLiteral("yes 'warning: endless' >&2"));
    EXPECT_EQ(run.outcome.kind, JetReaderProcess::Outcome::Flooded);
    EXPECT_TRUE(run.outcome.errorText.startsWith("warning: endless\n"));
}

TEST(JetReaderProcess, MissingProgramIsAnError)
{
    try {
        JetReaderProcess process(QStringLiteral("/nonexistent/orvanta-jet-reader"), {}, JetImport::Limits());
        ADD_FAILURE() << "a missing reader must not start";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), ErrorCode::EngineFailure);
        EXPECT_TRUE(e.text().contains(QStringLiteral("/nonexistent/orvanta-jet-reader")));
    }
}
