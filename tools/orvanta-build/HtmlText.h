// What a collection keeps of one HTML page: its title and the text a reader
// sees. Pages come from old tools and hand editing, so the reading is lenient:
// no tag is ever rejected, unknown entities stay as written.
#pragma once

#include <QByteArrayView>
#include <QString>

namespace Orvanta::Build {

enum class PageEncoding { Cp950, Utf8, Other };

struct PageCharset {
    PageEncoding encoding = PageEncoding::Cp950;
    QByteArray name; // the declared name, for Other
};

// The charset a page declares in a <meta> tag near its top (or a UTF-8
// byte-order mark). Big5 and its aliases, an unknown name and no declaration
// all mean code page 950, as the collections were written on such systems.
PageCharset detectCharset(QByteArrayView bytes);

// The page's bytes as text, by its declaration.
QString decodePage(QByteArrayView bytes);

struct PageText {
    QString title;   // <title>, white space collapsed; empty when absent
    QString heading; // first <h1>..<h6>, likewise
    QString text;    // the visible text of the page
};

// Visible text: tags, comments, the head, scripts and styles removed;
// entities decoded; block-level tags separate words; every run of white space
// one space, none at either end.
PageText extractText(QStringView html);

// Replaces character and entity references in plain text.
QString decodeEntities(QStringView text);

} // namespace Orvanta::Build
