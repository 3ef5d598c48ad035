#include "platform/ui/Printer.h"

#include "platform/ui/MessageBox.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

namespace Orvanta {

namespace {

Printer* g_replacement = nullptr;

} // namespace

Printer& Printer::current()
{
    if (g_replacement)
        return *g_replacement;
    static DefaultPrinter printer;
    return printer;
}

void Printer::setCurrentForTesting(Printer* printer)
{
    g_replacement = printer;
}

void DefaultPrinter::setFontSize(double points)
{
    m_points = points;
    m_sizeSet = true;
}

void DefaultPrinter::printLine(const QString& text)
{
    m_lines.push_back({text, m_points});
}

QString DefaultPrinter::noPrinterMessage()
{
    return QStringLiteral("找不到預設的印表機，無法列印。");
}

void DefaultPrinter::endDocument()
{
    std::vector<Line> lines;
    lines.swap(m_lines);
    if (lines.empty())
        return;

    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) {
        MessageSink::show(QStringLiteral("Tarsel Orvanta"), noPrinterMessage());
        return;
    }

    QPrinter printer(info, QPrinter::HighResolution);
    printer.setDocName(QStringLiteral("Tarsel Orvanta"));
    QPainter painter;
    if (!painter.begin(&printer)) {
        MessageSink::show(QStringLiteral("Tarsel Orvanta"), noPrinterMessage());
        return;
    }
    // The printer's own face; only the size is ours.
    QFont font = painter.font();
    double y = 0;
    for (const Line& line : lines) {
        font.setPointSizeF(line.points);
        painter.setFont(font);
        const QFontMetricsF metrics(font, &printer);
        painter.drawText(QPointF(0, y + metrics.ascent()), line.text);
        y += metrics.lineSpacing();
    }
    painter.end();
}

void RecordingPrinter::setFontSize(double points)
{
    m_steps.append(QStringLiteral("size:") + QString::number(points));
}

void RecordingPrinter::printLine(const QString& text)
{
    m_steps.append(QStringLiteral("line:") + text);
}

void RecordingPrinter::endDocument()
{
    m_steps.append(QStringLiteral("end"));
}

} // namespace Orvanta
