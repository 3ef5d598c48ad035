// What a collection keeps of one HTML page: its title and the text a reader
// sees. Pages come from old tools and hand editing, so the reading is lenient:
// no tag is ever rejected, unknown entities stay as written.
#pragma once

#include "platform/text/PageCharset.h"

#include <QString>

namespace Orvanta::Build {

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
