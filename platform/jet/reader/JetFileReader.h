// Reads a Jet 3 or Jet 4 file with libmdb and sends its user tables, their
// columns and their rows in storage order to a FrameOutput.
#pragma once

#include <QString>
#include <QStringList>

#include <stdexcept>
#include <string>

namespace Orvanta::Jet {

class FrameOutput;

// Something the reader found wrong with the file; becomes a Failure frame.
class ReadFailure : public std::runtime_error {
public:
    ReadFailure(int number, const std::string& message)
        : std::runtime_error(message), m_number(number) {}
    int number() const { return m_number; }

private:
    int m_number;
};

// Sends every user table (or those named in `tables`, compared without regard
// to case) of the file at `path`. Throws ReadFailure.
void sendTables(const QString& path, const QStringList& tables, FrameOutput& out);

} // namespace Orvanta::Jet
