#include "support/SalvageCheck.h"

#include <QSet>

#include <map>
#include <tuple>

namespace Orvanta::Test {

namespace {

using Key = std::tuple<QString, QString, QString>;

Key keyOf(const DocumentRow& r)
{
    // NULL and '' differ here as they do in the data: a marker no text holds.
    auto text = [](const std::optional<QString>& v) { return v ? QLatin1Char('=') + *v : QStringLiteral("null"); };
    return {text(r.subject), text(r.htm), text(r.date)};
}

} // namespace

SalvageFigures& SalvageFigures::operator+=(const SalvageFigures& o)
{
    served += o.served;
    intact += o.intact;
    inPart += o.inPart;
    inPartWrong += o.inPartWrong;
    changedUnreported += o.changedUnreported;
    return *this;
}

SalvageFigures compareSalvaged(const std::vector<DocumentRow>& original, const std::vector<DocumentRow>& served,
                               const QStringList& titlesInPart)
{
    // Originals by everything but their text; each one can be matched once.
    std::multimap<Key, const DocumentRow*> unmatched;
    for (const DocumentRow& r : original)
        unmatched.emplace(keyOf(r), &r);
    const QSet<QString> reported(titlesInPart.begin(), titlesInPart.end());

    SalvageFigures f;
    f.served = qint64(served.size());
    // Whole rows first, so that a row read in part cannot take the place of
    // an identical-looking whole one.
    std::vector<const DocumentRow*> rest;
    for (const DocumentRow& r : served) {
        auto [from, to] = unmatched.equal_range(keyOf(r));
        auto hit = to;
        for (auto it = from; it != to; ++it) {
            if (it->second->content == r.content) {
                hit = it;
                break;
            }
        }
        if (hit != to) {
            ++f.intact;
            unmatched.erase(hit);
        } else {
            rest.push_back(&r);
        }
    }
    for (const DocumentRow* r : rest) {
        const bool isReported = r->subject && reported.contains(*r->subject);
        auto [from, to] = unmatched.equal_range(keyOf(*r));
        if (!isReported || from == to) {
            ++f.changedUnreported;
            continue;
        }
        auto hit = to;
        for (auto it = from; it != to; ++it) {
            if (it->second->content.value_or(QString()).startsWith(r->content.value_or(QString()))) {
                hit = it;
                break;
            }
        }
        if (hit == to) {
            ++f.inPartWrong;
            unmatched.erase(from);
        } else {
            ++f.inPart;
            unmatched.erase(hit);
        }
    }
    return f;
}

} // namespace Orvanta::Test
