#include "platform/ui/ViewHistory.h"

namespace Orvanta {

namespace {

// Reading goes through many links in a long session; the oldest steps are
// the ones nobody walks back to.
constexpr size_t kMaxSteps = 200;

} // namespace

void ViewHistory::clear()
{
    m_back.clear();
    m_forward.clear();
}

void ViewHistory::leave(const ViewPlace& current)
{
    m_back.push_back(current);
    if (m_back.size() > kMaxSteps)
        m_back.erase(m_back.begin());
    m_forward.clear();
}

std::optional<ViewPlace> ViewHistory::back(const ViewPlace& current)
{
    if (m_back.empty())
        return std::nullopt;
    ViewPlace to = std::move(m_back.back());
    m_back.pop_back();
    m_forward.push_back(current);
    return to;
}

std::optional<ViewPlace> ViewHistory::forward(const ViewPlace& current)
{
    if (m_forward.empty())
        return std::nullopt;
    ViewPlace to = std::move(m_forward.back());
    m_forward.pop_back();
    m_back.push_back(current);
    return to;
}

} // namespace Orvanta
