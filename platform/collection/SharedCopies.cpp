#include "platform/collection/SharedCopies.h"

#include "platform/collection/ConvertedCopy.h"
#include "platform/collection/Database.h"

namespace Orvanta {

namespace {

// A handful at most: a copy can be large, and a program uses one collection.
constexpr size_t MaxSharedCopies = 4;

} // namespace

SharedCopies::SharedCopies()
    : m_minimumCopySource(Database::DefaultMinimumCopySource), m_limitBytes(ConvertedCopy::defaultLimit())
{
}

SharedCopies& SharedCopies::process()
{
    static SharedCopies copies;
    return copies;
}

std::shared_ptr<Database> SharedCopies::find(const FileIdentity& identity)
{
    auto found = m_byPath.find(identity.canonicalPath);
    if (found == m_byPath.end())
        return nullptr;
    if (found->second.identity == identity) {
        found->second.lastUse = ++m_clock;
        m_counters.countSharedReuse();
        return found->second.database;
    }
    m_byPath.erase(found); // the file changed: what was read of it is stale
    return nullptr;
}

void SharedCopies::keep(const FileIdentity& identity, const std::shared_ptr<Database>& database)
{
    if (m_byPath.size() >= MaxSharedCopies && !m_byPath.count(identity.canonicalPath)) {
        auto oldest = m_byPath.begin();
        for (auto it = m_byPath.begin(); it != m_byPath.end(); ++it) {
            if (it->second.lastUse < oldest->second.lastUse)
                oldest = it;
        }
        m_byPath.erase(oldest);
    }
    m_byPath[identity.canonicalPath] = Entry{identity, database, ++m_clock};
}

std::vector<std::shared_ptr<Database>> SharedCopies::all()
{
    std::lock_guard guard(m_mutex);
    std::vector<std::shared_ptr<Database>> open;
    for (auto& [path, entry] : m_byPath)
        open.push_back(entry.database);
    return open;
}

void SharedCopies::clear()
{
    std::lock_guard guard(m_mutex);
    m_byPath.clear();
}

SharedCopies::CopySettings SharedCopies::copySettings()
{
    std::lock_guard guard(m_settingsMutex);
    return {m_folderSet ? m_folder : ConvertedCopy::defaultFolder(), m_minimumCopySource, m_limitBytes};
}

void SharedCopies::setCopySettings(const QString& folder, qint64 minimumCopySource, qint64 limitBytes)
{
    std::lock_guard guard(m_settingsMutex);
    m_folderSet = true;
    m_folder = folder;
    m_minimumCopySource = minimumCopySource;
    m_limitBytes = limitBytes < 0 ? ConvertedCopy::defaultLimit() : limitBytes;
}

void SharedCopies::setContentIndexUse(bool use)
{
    m_indexUse = use;
    ++m_keptGeneration;
}

} // namespace Orvanta
