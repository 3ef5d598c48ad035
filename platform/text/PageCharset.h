// The encoding of one HTML page, as the page itself declares it. The builder
// reads every page by it, and the document view reads and writes the page it
// marks by it, so a page shows the text its words were found in.
//
// Collections were written on Big5 systems: a Big5 or code page 950
// declaration, a name nobody knows and no declaration at all mean code page
// 950, read and written exactly as every other text file of the system.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace Orvanta {

enum class PageEncoding { Cp950, Utf8, Other };

struct PageCharset {
    PageEncoding encoding = PageEncoding::Cp950;
    QByteArray name;          // the name the page declares (lower case), or the converter's
    QByteArray byteOrderMark; // the mark the page starts with, written back in front
};

// A byte-order mark (UTF-8, UTF-16) decides first; otherwise the charset of a
// <meta> tag near the top of the page.
PageCharset detectPageCharset(QByteArrayView bytes);

// The page's bytes as text, without its byte-order mark.
QString decodePage(QByteArrayView bytes, const PageCharset& charset);
QString decodePage(QByteArrayView bytes);

// Text back to bytes in the same encoding, byte-order mark first. A character
// the encoding lacks becomes the encoding's substitute ("?" in code page 950).
QByteArray encodePage(QStringView text, const PageCharset& charset);

} // namespace Orvanta
