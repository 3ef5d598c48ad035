// A PDF printer for one test: starts the print service when it is not
// running, adds a cups-pdf queue and makes it the default, and undoes all of
// it afterwards (queue removed, the former default back, the service stopped
// when this test started it).
#pragma once

#include <QDateTime>
#include <QProcess>
#include <QString>

#include <memory>

namespace Orvanta::E2E {

class PrintQueue {
public:
    PrintQueue();
    ~PrintQueue();

    PrintQueue(const PrintQueue&) = delete;
    PrintQueue& operator=(const PrintQueue&) = delete;

    // Empty when the queue is ready, else why it could not be set up.
    QString unavailableReason() const { return m_reason; }
    QString name() const { return m_name; }
    // The folder the PDF printer writes its files into.
    QString outputDir() const { return m_outputDir; }
    // The newest PDF file written into the output folder since the queue was
    // set up, or "".
    QString newestPdf() const;

private:
    bool schedulerRunning() const;
    QString findPpd() const;
    QString pdfOutputDir() const;

    std::unique_ptr<QProcess> m_scheduler; // set only when this test started it
    QString m_name;
    QString m_formerDefault;
    QString m_outputDir;
    QString m_reason;
    bool m_added = false;
    QDateTime m_since;
};

} // namespace Orvanta::E2E
