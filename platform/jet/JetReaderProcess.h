// The Jet reader as a child process: started with bounded memory and CPU
// time, its stream read in large blocks, its error output kept to a few KB,
// and stopped when it outlives its wall-time budget.
#pragma once

#include "platform/jet/JetImport.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>
#include <sys/types.h>

namespace Orvanta {

class JetReaderProcess {
public:
    // How the child ended.
    struct Outcome {
        // Flooded: stopped for writing more error output than any sound file
        // gives (libmdb looping over a damaged catalog does).
        enum Kind { Exited, Signaled, TimedOut, Flooded } kind = Exited;
        int code = 0;        // exit code or signal number
        QByteArray errorText; // the start of what it wrote to standard error
    };

    // Starts `program` with `arguments`. Throws Orvanta::Error when it cannot.
    JetReaderProcess(const QString& program, const QStringList& arguments, const JetImport::Limits& limits);
    ~JetReaderProcess();
    JetReaderProcess(const JetReaderProcess&) = delete;
    JetReaderProcess& operator=(const JetReaderProcess&) = delete;

    // Reads up to `max` bytes of the stream into `buffer`, waiting as long as
    // the wall-time budget allows. Returns 0 at the end of the stream and -1
    // when the budget ran out (the child is killed then).
    qint64 read(char* buffer, qint64 max);

    // Waits for the child to end (within the budget; killed after it).
    Outcome finish();

    // Ends the child at once; finish() still reaps it.
    void kill();

    // Largest amount of error output kept.
    static constexpr int kErrorTextCap = 4096;
    // Error output after which the child is stopped as flooding.
    static constexpr qint64 kErrorFloodLimit = qint64(1) << 20;

private:
    int remainingMs() const;
    void drainErrors();
    void closeFd(int& fd);

    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
    bool m_timedOut = false;
    bool m_flooded = false;
    qint64 m_errorBytes = 0;
    bool m_reaped = false;
    Outcome m_outcome;
    std::chrono::steady_clock::time_point m_deadline;
};

} // namespace Orvanta
