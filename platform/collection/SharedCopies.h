// The databases open in this process, shared by every connection to the same
// file while the file keeps its identity, and the settings that decide how a
// file is opened: where converted copies go, whether searches may use content
// indexes, and at what priority a content index is built.
//
// There is one per process, reached through process(): a converted copy in
// memory can be large, and two windows or two connections of one program
// must share it rather than read the Jet file twice. So this one object holds
// all the process-wide state of the collections; nothing else in them is
// global.
#pragma once

#include "platform/collection/FileIdentity.h"
#include "platform/collection/LoadCounters.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace Orvanta {

class Database;

class SharedCopies {
public:
    static SharedCopies& process();

    // Where and when Jet files get a converted copy on disk (see
    // Database::setConvertedCopyFolder).
    struct CopySettings {
        QString folder;
        qint64 minimumCopySource = 0;
        qint64 limitBytes = 0;
    };

    // Whether a content index is built at a lower priority than the
    // program's own (a window, which must stay responsive), or at the
    // program's own (a command-line search, which has nothing else to do).
    enum class IndexBuildPriority { Lowered, Own };

    // Held while a file is looked up and, when it is not there, opened: two
    // connections to a new file must not both convert it.
    std::unique_lock<std::mutex> lock() { return std::unique_lock(m_mutex); }

    // The open database of a file whose identity has not changed, or nullptr
    // (a changed file's database is forgotten). The caller holds lock().
    std::shared_ptr<Database> find(const FileIdentity& identity);
    // The caller holds lock(). The least recently used one goes beyond a few.
    void keep(const FileIdentity& identity, const std::shared_ptr<Database>& database);
    // Every database kept now (connections still open keep theirs).
    std::vector<std::shared_ptr<Database>> all();
    void clear();

    CopySettings copySettings();
    void setCopySettings(const QString& folder, qint64 minimumCopySource, qint64 limitBytes);

    bool contentIndexUse() const { return m_indexUse; }
    void setContentIndexUse(bool use);
    // Rows kept by a database from before the generation changed are not
    // handed back again.
    uint64_t keptGeneration() const { return m_keptGeneration; }
    void forgetKeptResults() { ++m_keptGeneration; }

    IndexBuildPriority indexBuildPriority() const { return m_indexBuildPriority; }
    void setIndexBuildPriority(IndexBuildPriority priority) { m_indexBuildPriority = priority; }

    LoadCounters& counters() { return m_counters; }

private:
    SharedCopies();

    struct Entry {
        FileIdentity identity;
        std::shared_ptr<Database> database;
        uint64_t lastUse = 0;
    };

    std::mutex m_mutex;
    // By the file's canonical path.
    std::map<QString, Entry> m_byPath;
    uint64_t m_clock = 0;
    // Apart from m_mutex: the settings are read while a file is opened
    // under it.
    std::mutex m_settingsMutex;
    bool m_folderSet = false;
    QString m_folder;
    qint64 m_minimumCopySource;
    qint64 m_limitBytes;

    std::atomic<bool> m_indexUse{true};
    std::atomic<uint64_t> m_keptGeneration{0};
    std::atomic<IndexBuildPriority> m_indexBuildPriority{IndexBuildPriority::Lowered};
    LoadCounters m_counters;
};

} // namespace Orvanta
