#include "platform/collection/LoadCounters.h"

namespace Orvanta {

LoadCounters::Counts LoadCounters::counts() const
{
    return {m_readerLoads.load(), m_copiesRestored.load(), m_copiesStored.load(), m_sharedReuses.load(),
            m_contentIndexesAdded.load()};
}

void LoadCounters::reset()
{
    m_readerLoads = 0;
    m_copiesRestored = 0;
    m_copiesStored = 0;
    m_sharedReuses = 0;
    m_contentIndexesAdded = 0;
}

} // namespace Orvanta
