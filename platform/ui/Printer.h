// The printer that F7 prints on: set a font size, print lines, end the
// document. The system's default printer by default; tests put a recording
// printer in its place.
#pragma once

#include <QString>
#include <QStringList>

#include <memory>

namespace Orvanta {

class Printer {
public:
    virtual ~Printer() = default;

    // Text printed afterwards uses this size (points).
    virtual void setFontSize(double points) = 0;
    // A text followed by a line break; an empty text advances by one line.
    virtual void printLine(const QString& text) = 0;
    // Releases the page to the print queue.
    virtual void endDocument() = 0;

    // The printer in use: the system's default printer unless a test has put
    // another one in its place.
    static Printer& current();
    // Puts `printer` in place of the default printer (not owned); nullptr
    // restores the default printer.
    static void setCurrentForTesting(Printer* printer);
};

// Prints on the system's default printer. Lines are gathered and go out as
// one page at endDocument(). Without a default printer, endDocument() says so
// in a message and prints nothing.
class DefaultPrinter : public Printer {
public:
    void setFontSize(double points) override;
    void printLine(const QString& text) override;
    void endDocument() override;

    // The message shown when the system has no default printer.
    static QString noPrinterMessage();

private:
    struct Line {
        QString text;
        double points;
    };
    std::vector<Line> m_lines;
    double m_points = 10.0;
    bool m_sizeSet = false;
};

// Records every call as one entry: "size:12", "line:<text>", "end".
class RecordingPrinter : public Printer {
public:
    void setFontSize(double points) override;
    void printLine(const QString& text) override;
    void endDocument() override;

    const QStringList& steps() const { return m_steps; }
    void clear() { m_steps.clear(); }

private:
    QStringList m_steps;
};

} // namespace Orvanta
