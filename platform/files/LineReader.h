// Reads a code page 950 text line by line with the criteria-file rule: a line
// ends at CR or at CR LF; a lone LF is an ordinary character; a last line
// without terminator is read like any other.
#pragma once

#include <QByteArray>
#include <QString>

namespace Orvanta {

class LineReader {
public:
    explicit LineReader(QByteArray bytes) : m_bytes(std::move(bytes)) {}

    bool atEnd() const { return m_pos >= m_bytes.size(); }

    // The next line without its terminator. Call only while !atEnd().
    QString readLine();

private:
    QByteArray m_bytes;
    qsizetype m_pos = 0;
};

} // namespace Orvanta
