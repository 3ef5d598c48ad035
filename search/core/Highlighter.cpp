#include "search/core/Highlighter.h"

#include "platform/db/LikeMatcher.h"
#include "platform/files/FileSystem.h"
#include "platform/files/Paths.h"
#include "platform/text/PageCharset.h"
#include "search/core/QueryComposer.h"
#include "search/core/TextRuns.h"

#include <QFile>

#include <unicode/uchar.h>

namespace Orvanta {
namespace {

const QString kMarkOpen = QStringLiteral("<font color=red>");
const QString kMarkClose = QStringLiteral("</font>");

// A character that neither changes under case mapping nor is the folded form
// of another: comparing it exactly is comparing it folded. CJK text is all
// such characters, so most words skip folding the page.
bool hasCaseVariants(char32_t c)
{
    if (c < 0x80)
        return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z');
    return u_hasBinaryProperty(UChar32(c), UCHAR_CHANGES_WHEN_CASEMAPPED)
        || u_hasBinaryProperty(UChar32(c), UCHAR_CHANGES_WHEN_CASEFOLDED);
}

bool needsFolding(QStringView word)
{
    for (const char32_t c : word.toUcs4()) {
        if (hasCaseVariants(c))
            return true;
    }
    return false;
}

// Simple case folding never moves a character into or out of the basic
// plane, so the folded text has the page's length and its positions.
QString foldedCopy(QStringView text)
{
    QString out(text.size(), Qt::Uninitialized);
    char16_t* dst = reinterpret_cast<char16_t*>(out.data());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = text[i].unicode();
        if (u < 0x80) {
            dst[i] = (u >= u'A' && u <= u'Z') ? char16_t(u + 32) : u;
        } else if (QChar::isHighSurrogate(u) && i + 1 < n && text[i + 1].isLowSurrogate()) {
            const char32_t f = foldCase(QChar::surrogateToUcs4(u, text[i + 1].unicode()));
            dst[i] = QChar::highSurrogate(f);
            dst[i + 1] = QChar::lowSurrogate(f);
            ++i;
        } else {
            dst[i] = QChar::isSurrogate(u) ? u : char16_t(foldCase(u));
        }
    }
    return out;
}

// One pass over `text`: every non-overlapping occurrence of `word` in the
// page's text (never in its mark-up), compared folded, left to right, wrapped
// in the mark-up with the page's own letters inside. The result is built
// piece by piece, so a page with many hits costs one copy, not one shift of
// the tail per hit.
QString markOneWord(const QString& text, const QString& word)
{
    const bool fold = needsFolding(word);
    const QString needle = fold ? foldedCopy(word) : word;
    const QString folded = fold ? foldedCopy(text) : QString();
    const QStringView hay = fold ? QStringView(folded) : QStringView(text);
    if (hay.indexOf(needle) < 0)
        return text;

    QString out;
    out.reserve(text.size() + (kMarkOpen.size() + kMarkClose.size()) * 16);
    qsizetype from = 0;
    for (const TextRun& run : textRuns(text)) {
        const QStringView runText = hay.sliced(run.begin, run.end - run.begin);
        for (qsizetype hit = runText.indexOf(needle); hit >= 0; hit = runText.indexOf(needle, hit + needle.size())) {
            const qsizetype at = run.begin + hit;
            out.append(QStringView(text).sliced(from, at - from));
            out.append(kMarkOpen);
            out.append(QStringView(text).sliced(at, needle.size()));
            out.append(kMarkClose);
            from = at + needle.size();
        }
    }
    if (from == 0)
        return text;
    out.append(QStringView(text).sliced(from));
    return out;
}

// Opens an existing file for writing, truncating it; never creates one.
void writeExistingFile(const QString& path, const QByteArray& bytes)
{
    QFile file(Paths::toLocal(path));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::ExistingOnly))
        return;
    file.write(bytes);
}

} // namespace

QString highlightTextFor(const QString& mode, const QString& queryBoxText)
{
    const QString trimmed = trimSpaces(queryBoxText);
    if (mode == QLatin1String("mod3") || mode == QLatin1String("mod4"))
        return trimmed.mid(1, 100); // the mode character goes, whatever it is
    return trimmed;
}

QString markWords(const QString& page, const QStringList& words)
{
    QString text = page;
    for (const QString& word : words) {
        if (!word.isEmpty())
            text = markOneWord(text, word);
    }
    return text;
}

void writeMarkedPage(const QString& installFolder, const QString& documentPath,
                     const QString& highlightText, const QString& tmpPage) noexcept
{
    writeMarkedPageFiles(Paths::join(installFolder, QStringLiteral("tmp")),
                         Paths::join(installFolder, documentPath), highlightText, tmpPage);
}

// Each step stands on its own: when one fails, what it would have produced
// stays as it was and the next step runs. The user sees at worst a blank or
// stale page, never an error.
void writeMarkedPageFiles(const QString& tmpFolder, const QString& documentFile,
                          const QString& highlightText, const QString& tmpPage) noexcept
{
    QStringList words;
    try {
        words = splitWords(highlightText);
    } catch (...) {
    }

    try {
        if (!FileSystem::folderExists(tmpFolder))
            FileSystem::createFolder(tmpFolder);
    } catch (...) {
    }

    // The page is read, marked and written back in the encoding it declares.
    QString page;
    PageCharset charset;
    try {
        const QByteArray bytes = FileSystem::readBytes(documentFile);
        charset = detectPageCharset(bytes);
        page = decodePage(bytes, charset);
    } catch (...) {
    }

    // Word by word on the text so far: a failure keeps the words marked before it.
    try {
        for (const QString& word : std::as_const(words)) {
            if (!word.isEmpty())
                page = markOneWord(page, word);
        }
    } catch (...) {
    }

    try {
        if (FileSystem::fileExists(tmpPage))
            FileSystem::deleteFile(tmpPage);
    } catch (...) {
    }

    // Created empty first, then written: an old page that cannot be replaced
    // is left exactly as it was.
    try {
        FileSystem::writeBytes(tmpPage, QByteArray());
    } catch (...) {
    }

    try {
        writeExistingFile(tmpPage, encodePage(page, charset));
    } catch (...) {
    }
}

} // namespace Orvanta
