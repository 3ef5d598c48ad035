// Text as a Jet file stores it. Jet 4 keeps text as UCS-2, optionally in its
// "compressed unicode" form; Jet 3 keeps 8-bit text in the file's code page.
#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <string>

namespace Orvanta::JetText {

// Jet 4 text or memo bytes. Bytes starting with FF FE are compressed: one
// byte per character (high byte zero) until a zero byte, which switches to
// two bytes per character until the next zero byte, and so on. Anything else
// is plain UCS-2 little endian. A dangling odd byte is dropped.
QString decodeJet4(QByteArrayView bytes);
// The same into `out`, whose storage is reused from one value to the next.
void decodeJet4(QByteArrayView bytes, QString& out);

// Jet 3 text in the given Windows code page. 950 goes through our own code
// page 950 converter (so user-defined characters survive); an unknown code
// page falls back to 1252.
QString decodeCodePage(QByteArrayView bytes, int codePage);

// The code page of a Jet 3 file from the code page and language id of its
// header: the code page when it is set, otherwise the one the language
// implies, otherwise 1252.
int jet3CodePage(int headerCodePage, int languageId);

// Appends `text` to `out` in UTF-8, byte for byte as QString::toUtf8() gives
// it (an unpaired surrogate becomes '?'), without a QByteArray in between.
void appendUtf8(std::string& out, QStringView text);

} // namespace Orvanta::JetText
