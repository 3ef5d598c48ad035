// Character and entity references ("&#29234;", "&#x5CEF;", "&amp;") as the
// pages write them. Big5 has no code for some common characters (爲 among
// them), so pages in code page 950 carry them as numeric references; the
// index reads them as the characters they stand for, and so does the marking
// of a page's words.
#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace Orvanta {

struct CharacterReference {
    qsizetype end = 0;   // one past the reference (its ";" when it has one)
    char32_t value = 0;  // U+FFFD for a number that names no character
};

// At s[i] == '&': the reference that starts there, or nothing when the "&" is
// a plain character. Numbers need no ";"; of the named entities the common
// ones are known, and amp, lt, gt, quot and nbsp are also read without ";",
// as old pages write them.
std::optional<CharacterReference> readCharacterReference(QStringView s, qsizetype i);

// Appends `cp` in UTF-16; NUL, surrogates and numbers past U+10FFFF become U+FFFD.
void appendCodePoint(QString& out, char32_t cp);

} // namespace Orvanta
