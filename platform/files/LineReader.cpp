#include "platform/files/LineReader.h"

#include "platform/text/Cp950.h"

namespace Orvanta {

QString LineReader::readLine()
{
    const qsizetype start = m_pos;
    qsizetype end = m_bytes.indexOf('\r', start);
    if (end < 0) {
        m_pos = m_bytes.size();
        return Cp950::decode(QByteArrayView(m_bytes).sliced(start));
    }
    m_pos = end + 1;
    if (m_pos < m_bytes.size() && m_bytes[m_pos] == '\n')
        ++m_pos;
    return Cp950::decode(QByteArrayView(m_bytes).sliced(start, end - start));
}

} // namespace Orvanta
