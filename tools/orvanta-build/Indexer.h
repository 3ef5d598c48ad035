// Makes a collection from a folder of HTML pages: one maindata row per page.
#pragma once

#include <QString>
#include <QStringList>

namespace Orvanta::Build {

struct IndexedRow {
    QString subject;
    QString htm;
    QString content;
    QString date;
};

// The pages below `folder` that belong to the collection, as paths relative
// to it with "/" separators, in the order of their rows. Leaves out tmp\ (the
// viewer's scratch folder) and the help and demonstration pages.
QStringList collectionPages(const QString& folder);

// The row of one page. `relative` uses "/" separators.
IndexedRow indexPage(const QString& folder, const QString& relative);

struct IndexSummary {
    qint64 documents = 0;
    QStringList skipped; // pages that could not be read, with the reason
};

// Writes folder/jst.mdb from the pages below `folder`. Throws Orvanta::Error,
// among others when jst.mdb is not ours and `force` is not given. Without
// `contentIndex`, jst.mdb has no content index.
IndexSummary indexFolder(const QString& folder, bool force, bool contentIndex = true);

} // namespace Orvanta::Build
