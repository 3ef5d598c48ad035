#include "search/core/Highlighter.h"

#include "platform/files/FileSystem.h"
#include "platform/files/Paths.h"
#include "platform/text/Cp950.h"
#include "search/core/QueryComposer.h"

#include <QFile>

namespace Orvanta {
namespace {

const QString kMarkOpen = QStringLiteral("<font color=red>");
const QString kMarkClose = QStringLiteral("</font>");

// One pass over `text`: every non-overlapping occurrence of `word`, left to
// right, wrapped in the mark-up. The result is built piece by piece, so a page
// with many hits costs one copy, not one shift of the tail per hit.
QString markOneWord(const QString& text, const QString& word)
{
    qsizetype hit = text.indexOf(word, 0, Qt::CaseSensitive);
    if (hit < 0)
        return text;

    const QString marked = kMarkOpen + word + kMarkClose;
    QString out;
    out.reserve(text.size() + (kMarkOpen.size() + kMarkClose.size()) * 16);
    qsizetype from = 0;
    while (hit >= 0) {
        out.append(QStringView(text).sliced(from, hit - from));
        out.append(marked);
        from = hit + word.size();
        hit = text.indexOf(word, from, Qt::CaseSensitive);
    }
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

    QString page;
    try {
        page = FileSystem::readTextFile(documentFile);
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
        writeExistingFile(tmpPage, Cp950::encode(page));
    } catch (...) {
    }
}

} // namespace Orvanta
