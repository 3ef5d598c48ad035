// Code page 950 (Big5 as Windows has it), the code page of every text file the
// system reads or writes. Built on ICU's "windows-950" converter.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace Orvanta::Cp950 {

// Bytes to text. User-defined areas decode to private-use code points; a byte
// sequence the code page does not map becomes U+FFFD.
QString decode(QByteArrayView bytes);

// Text to bytes. A character the code page lacks is written as "?". No
// byte-order mark is ever written.
QByteArray encode(QStringView text);

// How many characters encode() writes as "?" because the code page lacks
// them (a character outside the BMP counts once).
qsizetype unmappableCount(QStringView text);

} // namespace Orvanta::Cp950
