// An install folder as the installer lays it out (the programs beside a
// sample collection), and one run of the desktop program from it.
#pragma once

#include "e2e/XSession.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace Orvanta::E2E {

class Installation {
public:
    // Writes a sample collection of `documents` documents and copies the
    // programs beside it; ok() tells whether that worked, error() why not.
    explicit Installation(int documents);
    // Copies an install folder from the fixtures (its database, help page and
    // pages) and the programs beside it.
    explicit Installation(const QString& fixture);

    bool ok() const { return m_error.isEmpty(); }
    QString error() const { return m_error; }
    QString folder() const { return m_dir.path(); }
    QString path(const QString& relative) const { return m_dir.filePath(relative); }
    // The temporary page the search window writes for the shown document.
    QString tempPage() const { return path(QStringLiteral("tmp/TmpVORTAN.htm")); }

    // The bytes of the temporary page for row `row` of a search, as the
    // command-line search of this install folder builds them.
    QByteArray expectedPage(const QString& query, int row) const;
    // The page file (platform path) of row `row` of a search, as the
    // command-line search of this install folder lists it.
    QString pageFile(const QString& query, int row) const;

private:
    void copyPrograms();

    QTemporaryDir m_dir;
    QString m_error;
};

// The desktop program started from an install folder on a display; killed
// on destruction when it is still running.
class ProgramRun {
public:
    ProgramRun(const Installation& installation, const XSession& session,
               const QString& workingDir, const QProcessEnvironment& extra = {});
    // Any program with arguments; its output goes to `logPath`.
    ProgramRun(const QString& program, const QStringList& arguments, const XSession& session,
               const QString& workingDir, const QString& logPath, const QProcessEnvironment& extra = {});
    ~ProgramRun();

    bool running() const { return m_process.state() == QProcess::Running; }
    qint64 processId() const { return m_process.processId(); }
    QString startError() const { return m_process.errorString(); }
    // Waits for the process to end; true when it ended within `timeout`.
    bool waitForEnd(std::chrono::milliseconds timeout);
    int exitCode() const { return m_process.exitCode(); }
    bool crashed() const { return m_process.exitStatus() == QProcess::CrashExit; }
    // The end of what the program wrote, for failure messages.
    QByteArray output();

private:
    void start(const QString& program, const QStringList& arguments, const XSession& session,
               const QString& workingDir, const QProcessEnvironment& extra);

    QProcess m_process;
    QString m_logPath;
};

// Reads a whole file; empty when it is missing.
QByteArray fileBytes(const QString& path);

// Folder for screenshots of the tests, inside the build folder.
QString artifactsDir();

} // namespace Orvanta::E2E
