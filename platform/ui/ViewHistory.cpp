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

namespace {

// One step: the place left goes onto the other stack.
template <typename Stack>
std::optional<ViewPlace> step(Stack& from, Stack& to, const ViewPlace& current)
{
    if (from.empty())
        return std::nullopt;
    ViewPlace place = std::move(from.back());
    from.pop_back();
    to.push_back(current);
    return place;
}

} // namespace

std::optional<ViewPlace> ViewHistory::back(const ViewPlace& current)
{
    return step(m_back, m_forward, current);
}

std::optional<ViewPlace> ViewHistory::forward(const ViewPlace& current)
{
    return step(m_forward, m_back, current);
}

} // namespace Orvanta
