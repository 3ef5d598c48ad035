// Back and forward through the pages the reader reached by following links
// in the document view. It starts afresh with every page the window itself
// puts in the view (a row of the result list, the help page): going back
// never leaves the document the reader chose, nor returns to an earlier one.
//
// The view keeps its own list rather than the engine's: a page stands for a
// place (the marked copy of a document stands in for the document's folder),
// and what the view may load and where its links lead depend on that place,
// which the engine knows nothing of.
#pragma once

#include <QString>
#include <QUrl>

#include <optional>
#include <vector>

namespace Orvanta {

struct ViewPlace {
    QUrl url;         // as the view showed it, anchor included
    QString path;     // the file shown (system path)
    QString place;    // where it stands in for
    QString document; // what its relative links are resolved from

    bool operator==(const ViewPlace&) const = default;
};

class ViewHistory {
public:
    // Forgets every page: the one shown now is the first.
    void clear();
    // The reader leaves `current` by a link: it is behind them now, and
    // nothing is ahead any more.
    void leave(const ViewPlace& current);
    // The place to go back (or forward) to from `current`, which goes onto
    // the other side; none when there is nothing there.
    std::optional<ViewPlace> back(const ViewPlace& current);
    std::optional<ViewPlace> forward(const ViewPlace& current);

    bool canGoBack() const { return !m_back.empty(); }
    bool canGoForward() const { return !m_forward.empty(); }

private:
    std::vector<ViewPlace> m_back;
    std::vector<ViewPlace> m_forward;
};

} // namespace Orvanta
