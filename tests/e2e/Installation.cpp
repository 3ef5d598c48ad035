#include "e2e/Installation.h"

#include "support/Fixtures.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <csignal>

namespace Orvanta::E2E {

Installation::Installation(int documents)
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return;
    }
    const QString bin = Orvanta::Test::binDir();
    const ToolResult built = runTool(bin + QStringLiteral("/orvanta-build"),
                                     {QStringLiteral("--sample"), QString::number(documents), folder()},
                                     120s);
    if (!built.ok || built.exitCode != 0) {
        m_error = QStringLiteral("orvanta-build --sample failed: ") + QString::fromUtf8(built.err);
        return;
    }
    copyPrograms();
}

Installation::Installation(const QString& fixture)
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return;
    }
    const QString source = Orvanta::Test::fixture(fixture);
    QDirIterator files(source, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString file = files.next();
        const QString target = path(QDir(source).relativeFilePath(file));
        QDir().mkpath(QFileInfo(target).path());
        if (!QFile::copy(file, target)) {
            m_error = QStringLiteral("cannot copy ") + file;
            return;
        }
        QFile::setPermissions(target, QFile::permissions(target) | QFileDevice::WriteOwner);
    }
    if (!QFileInfo(path(QStringLiteral("jst.mdb"))).isFile()) {
        m_error = QStringLiteral("no collection in ") + source;
        return;
    }
    copyPrograms();
}

void Installation::copyPrograms()
{
    const QString bin = Orvanta::Test::binDir();
    for (const char* program : {"orvanta", "orvanta-jet-reader", "orvanta-query"}) {
        const QString name = QString::fromLatin1(program);
        const QString target = path(name);
        QFile::remove(target);
        if (!QFile::copy(bin + QLatin1Char('/') + name, target)) {
            m_error = QStringLiteral("cannot copy ") + name + QStringLiteral(" from ") + bin;
            return;
        }
        QFile::setPermissions(target, QFile::permissions(target) | QFileDevice::ExeOwner);
    }
}

QByteArray Installation::expectedPage(const QString& query, int row) const
{
    const ToolResult r = runTool(path(QStringLiteral("orvanta-query")),
                                 {QStringLiteral("--dir"), folder(), QStringLiteral("--page"),
                                  QString::number(row), QStringLiteral("--"), query},
                                 60s);
    return r.ok && r.exitCode == 0 ? r.out : QByteArray();
}

QString Installation::pageFile(const QString& query, int row) const
{
    const ToolResult r = runTool(path(QStringLiteral("orvanta-query")),
                                 {QStringLiteral("--dir"), folder(), QStringLiteral("--"), query}, 60s);
    if (!r.ok || r.exitCode != 0)
        return {};
    const QList<QByteArray> lines = r.out.split('\n');
    if (row < 1 || row > lines.size())
        return {};
    const QList<QByteArray> fields = lines[row - 1].split('\t');
    if (fields.size() < 3)
        return {};
    return path(QString::fromUtf8(fields[2]).replace(QLatin1Char('\\'), QLatin1Char('/')));
}

ProgramRun::ProgramRun(const Installation& installation, const XSession& session,
                       const QString& workingDir, const QProcessEnvironment& extra)
{
    m_logPath = installation.path(QStringLiteral("orvanta.log"));
    start(installation.path(QStringLiteral("orvanta")), {}, session, workingDir, extra);
}

ProgramRun::ProgramRun(const QString& program, const QStringList& arguments, const XSession& session,
                       const QString& workingDir, const QString& logPath, const QProcessEnvironment& extra)
{
    m_logPath = logPath;
    start(program, arguments, session, workingDir, extra);
}

void ProgramRun::start(const QString& program, const QStringList& arguments, const XSession& session,
                       const QString& workingDir, const QProcessEnvironment& extra)
{
    QProcessEnvironment env = session.environment();
    for (const QString& name : extra.keys())
        env.insert(name, extra.value(name));
    m_process.setProcessEnvironment(env);
    m_process.setWorkingDirectory(workingDir);
    // Both channels go to a file: nobody reads a pipe while the test waits,
    // and a full pipe would stall the program.
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(m_logPath);
    endWithParent(m_process, SIGKILL);
    m_process.start(program, arguments);
    m_process.waitForStarted(10000);
}

ProgramRun::~ProgramRun()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(10000);
    }
}

bool ProgramRun::waitForEnd(std::chrono::milliseconds timeout)
{
    if (m_process.state() == QProcess::NotRunning)
        return true;
    return m_process.waitForFinished(int(timeout.count()));
}

QByteArray ProgramRun::output()
{
    return fileBytes(m_logPath).right(4000);
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QString artifactsDir()
{
    return QDir::cleanPath(Orvanta::Test::binDir() + QStringLiteral("/../e2e-artifacts"));
}

} // namespace Orvanta::E2E
