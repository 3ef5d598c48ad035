// orvanta-jet-reader FILE [TABLE...]
//
// Streams the user tables of a Jet 3 or Jet 4 file to standard output in the
// framing of platform/jet/JetProtocol.h. It runs as a child of the program so
// that a damaged file can only crash, hang or exhaust this process; its
// parent bounds its memory, CPU and wall time.
#include "platform/Error.h"
#include "platform/jet/JetProtocol.h"
#include "platform/jet/reader/FrameOutput.h"
#include "platform/jet/reader/JetFileReader.h"

#include <QString>
#include <QStringList>

#include <csignal>
#include <cstdio>
#include <new>
#include <unistd.h>

namespace {

// The high-water mark of this program's memory. Not getrusage(): after exec
// that counts the memory of the process it was forked from as well.
std::uint32_t peakKilobytes()
{
    FILE* status = std::fopen("/proc/self/status", "r");
    if (!status)
        return 0;
    char line[256];
    unsigned long kb = 0;
    while (std::fgets(line, sizeof line, status)) {
        if (std::sscanf(line, "VmHWM: %lu kB", &kb) == 1)
            break;
    }
    std::fclose(status);
    return std::uint32_t(kb);
}

} // namespace

int main(int argc, char** argv)
{
    using namespace Orvanta;

    if (argc < 2) {
        std::fprintf(stderr, "usage: orvanta-jet-reader FILE [TABLE...]\n");
        return JetProtocol::kExitUsage;
    }
    std::signal(SIGPIPE, SIG_IGN);

    // The stream gets a descriptor of its own; whatever the library prints on
    // standard output lands in standard error and cannot corrupt the stream.
    const int streamFd = ::dup(STDOUT_FILENO);
    if (streamFd < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        std::perror("orvanta-jet-reader");
        return JetProtocol::kExitFailure;
    }

    const QString path = QString::fromLocal8Bit(argv[1]);
    QStringList tables;
    for (int i = 2; i < argc; ++i)
        tables << QString::fromLocal8Bit(argv[i]);

    Jet::FrameOutput out(streamFd);
    try {
        Jet::sendTables(path, tables, out);
        out.end(peakKilobytes());
        return out.flush() ? 0 : JetProtocol::kExitFailure;
    } catch (const Jet::ReadFailure& f) {
        out.failure(f.number(), f.what());
    } catch (const std::bad_alloc&) {
        out.failure(ErrorCode::OutOfMemory, "the reader ran out of memory");
    } catch (const std::exception& e) {
        out.failure(ErrorCode::EngineFailure, e.what());
    }
    out.flush();
    return JetProtocol::kExitFailure;
}
