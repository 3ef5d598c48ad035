// The document view: a web view that shows local HTML files.
//
// The search window navigates it to the same temporary page again and again,
// each time with new content, so every navigation loads the file afresh from
// disk: the file is the truth, never a cached copy of an earlier load.
#pragma once

#include <QString>
#include <QWebEngineView>

namespace Orvanta {

class DocumentView : public QWebEngineView {
    Q_OBJECT
public:
    explicit DocumentView(QWidget* parent = nullptr);

    // Starts loading the file at a system path ("\" separators, see Paths.h)
    // and returns at once. A page without an encoding declaration is read as
    // Big5 (code page 950). A missing file shows an empty page.
    void navigate(const QString& systemPath);

    // The system path of the last navigation; empty before the first one.
    QString locationPath() const { return m_path; }

private:
    QString m_path;
    quint64 m_navigation = 0;
};

} // namespace Orvanta
