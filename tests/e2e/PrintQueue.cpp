#include "e2e/PrintQueue.h"

#include "e2e/XSession.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <csignal>

#include <pwd.h>
#include <unistd.h>

namespace Orvanta::E2E {

namespace {

QString text(const QByteArray& bytes)
{
    return QString::fromLocal8Bit(bytes).trimmed();
}

} // namespace

PrintQueue::PrintQueue()
{
    // One queue per test process: two test runs at once must not remove
    // each other's queue.
    m_name = QStringLiteral("OrvantaE2E-%1").arg(::getpid());
    m_since = QDateTime::currentDateTime().addSecs(-1);
    for (const char* tool : {"cupsd", "lpadmin", "lpstat", "lpinfo"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()
            && !QFileInfo::exists(QStringLiteral("/usr/sbin/") + QString::fromLatin1(tool))) {
            m_reason = QStringLiteral("the print service is not installed (no %1)").arg(QString::fromLatin1(tool));
            return;
        }
    }
    if (!QFileInfo::exists(QStringLiteral("/usr/lib/cups/backend/cups-pdf"))) {
        m_reason = QStringLiteral("the PDF printer backend cups-pdf is not installed");
        return;
    }
    if (!schedulerRunning()) {
        // In the foreground, as our child: it ends with this object.
        m_scheduler = std::make_unique<QProcess>();
        m_scheduler->setProcessChannelMode(QProcess::MergedChannels);
        m_scheduler->setStandardOutputFile(QProcess::nullDevice());
        endWithParent(*m_scheduler, SIGTERM);
        m_scheduler->start(QStringLiteral("/usr/sbin/cupsd"), {QStringLiteral("-f")});
        if (!m_scheduler->waitForStarted(10000)
            || !waitUntil([&] { return schedulerRunning() || m_scheduler->state() != QProcess::Running; }, 20s)
            || !schedulerRunning()) {
            m_reason = QStringLiteral("the print service (cupsd) did not start");
            return;
        }
    }
    const QString ppd = findPpd();
    if (ppd.isEmpty()) {
        m_reason = QStringLiteral("lpinfo -m lists no CUPS-PDF driver");
        return;
    }
    const ToolResult formerDefault = runTool(QStringLiteral("lpstat"), {QStringLiteral("-d")});
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("destination: (\\S+)")).match(text(formerDefault.out));
    if (match.hasMatch())
        m_formerDefault = match.captured(1);

    const ToolResult added = runTool(QStringLiteral("lpadmin"),
                                     {QStringLiteral("-p"), m_name, QStringLiteral("-v"),
                                      QStringLiteral("cups-pdf:/"), QStringLiteral("-E"),
                                      QStringLiteral("-m"), ppd});
    if (!added.ok || added.exitCode != 0) {
        m_reason = QStringLiteral("lpadmin could not add the PDF queue: ") + text(added.err);
        return;
    }
    m_added = true;
    const ToolResult madeDefault = runTool(QStringLiteral("lpadmin"), {QStringLiteral("-d"), m_name});
    if (!madeDefault.ok || madeDefault.exitCode != 0) {
        m_reason = QStringLiteral("lpadmin could not make the PDF queue the default: ") + text(madeDefault.err);
        return;
    }
    m_outputDir = pdfOutputDir();
}

PrintQueue::~PrintQueue()
{
    if (m_added) {
        runTool(QStringLiteral("lpadmin"), {QStringLiteral("-x"), m_name});
        if (!m_formerDefault.isEmpty() && m_formerDefault != m_name)
            runTool(QStringLiteral("lpadmin"), {QStringLiteral("-d"), m_formerDefault});
    }
    if (m_scheduler && m_scheduler->state() != QProcess::NotRunning) {
        m_scheduler->terminate();
        if (!m_scheduler->waitForFinished(10000)) {
            m_scheduler->kill();
            m_scheduler->waitForFinished(5000);
        }
    }
}

bool PrintQueue::schedulerRunning() const
{
    const ToolResult r = runTool(QStringLiteral("lpstat"), {QStringLiteral("-r")}, 10s);
    return r.ok && r.exitCode == 0 && text(r.out) == QStringLiteral("scheduler is running");
}

QString PrintQueue::findPpd() const
{
    const ToolResult r = runTool(QStringLiteral("lpinfo"), {QStringLiteral("-m")}, 60s);
    QString fallback;
    for (const QString& line : text(r.out).split(QLatin1Char('\n'))) {
        const QString model = line.section(QLatin1Char(' '), 0, 0);
        if (model.endsWith(QStringLiteral("CUPS-PDF_opt.ppd")))
            return model;
        if (model.contains(QStringLiteral("CUPS-PDF"), Qt::CaseInsensitive))
            fallback = model;
    }
    return fallback;
}

QString PrintQueue::pdfOutputDir() const
{
    // The job belongs to this user; cups-pdf writes into the folder its
    // configuration names, ${HOME} being that user's home.
    QString out = QStringLiteral("${HOME}/PDF");
    QFile conf(QStringLiteral("/etc/cups/cups-pdf.conf"));
    if (conf.open(QIODevice::ReadOnly)) {
        for (const QByteArray& raw : conf.readAll().split('\n')) {
            const QString line = QString::fromLocal8Bit(raw).trimmed();
            if (line.startsWith(QStringLiteral("Out ")))
                out = line.mid(4).trimmed();
        }
    }
    const passwd* user = getpwuid(getuid());
    const QString home = user ? QString::fromLocal8Bit(user->pw_dir) : QDir::homePath();
    out.replace(QStringLiteral("${HOME}"), home);
    out.replace(QStringLiteral("${USER}"), user ? QString::fromLocal8Bit(user->pw_name) : QString());
    return out;
}

QString PrintQueue::newestPdf() const
{
    QString newest;
    QDateTime newestTime = m_since;
    const QFileInfoList files = QDir(m_outputDir).entryInfoList({QStringLiteral("*.pdf")}, QDir::Files);
    for (const QFileInfo& file : files) {
        if (file.lastModified() >= newestTime) {
            newestTime = file.lastModified();
            newest = file.absoluteFilePath();
        }
    }
    return newest;
}

} // namespace Orvanta::E2E
