// The reader's view of one open Jet file: its tables sent a row at a time,
// their values as the protocol carries them. Shared by JetFile.cpp (tables,
// rows, values) and LongValues.cpp (memo and OLE values, which follow page
// chains of their own and find the pages that break them).
#pragma once

#include "platform/Error.h"
#include "platform/jet/JetProtocol.h"
#include "platform/jet/JetText.h"
#include "platform/jet/reader/FilePages.h"
#include "platform/jet/reader/FrameOutput.h"
#include "platform/jet/reader/JetFileReader.h"
#include "platform/jet/reader/TablePages.h"

// The libmdb header pulls glib.h in inside extern "C", which C++ glib headers
// do not survive; included first, glib's own guards keep it out.
#include <glib.h>
#include <mdbtools.h>

#include <QString>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace Orvanta::Jet {

using JetProtocol::ValueType;

constexpr int kOffsetMask = 0x1FFF;    // row offsets carry flags above these bits
constexpr int kLongValueRefSize = 12;  // length+flags, page/row, unused
constexpr std::uint8_t kDataPage = 0x01;

[[noreturn]] inline void damaged(const std::string& what)
{
    throw ReadFailure(ErrorCode::DatabaseDamaged, what);
}

inline std::uint32_t le16(const unsigned char* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8);
}

inline std::uint32_t le32(const unsigned char* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16)
        | (std::uint32_t(p[3]) << 24);
}

struct MdbCloser {
    void operator()(MdbHandle* mdb) const { mdb_close(mdb); }
};

struct TableCloser {
    void operator()(MdbTableDef* table) const { mdb_free_tabledef(table); }
};

struct GFreer {
    void operator()(void* p) const { g_free(p); }
};

ValueType valueTypeOf(int jetType);

// A value other than a long value that cannot be read: its row is left out.
struct UnreadableValue {
    const char* what;
};

class JetFile {
public:
    JetFile(MdbHandle* mdb, FilePages& pages, FrameOutput& out)
        : m_mdb(mdb), m_pages(pages), m_pageCount(pages.count()),
          m_tablePages(pages, {int(mdb->fmt->pg_size), int(mdb->fmt->row_count_offset),
                               int(mdb->fmt->tab_usage_map_offset)}),
          m_out(out), m_pageSize(int(mdb->fmt->pg_size)), m_jet3(mdb->f->jet_version == MDB_VER_JET3)
    {
        if (m_jet3)
            m_codePage = JetText::jet3CodePage(mdb->f->code_page, mdb->f->lang_id);
    }

    int codePage() const { return m_codePage; }

    void sendTable(MdbCatalogEntry* entry);

private:
    // What was lost of the table being sent.
    struct Losses {
        std::uint32_t rowsLeftOut = 0;
        std::uint32_t rowsInPart = 0;
        std::uint32_t pagesSkipped = 0;
    };

    bool readDataPage(std::uint32_t page, unsigned long tablePage);
    template <typename RowAt>
    void forEachRow(const std::vector<std::uint32_t>& pages, unsigned long tablePage, RowAt&& rowAt,
                    std::uint32_t* skipped);
    void sendRow(const std::vector<const MdbColumn*>& columns, std::vector<MdbField>& fields, int start,
                 std::size_t size, Losses& losses);
    void sendLostRow(const std::vector<const MdbColumn*>& columns, const std::vector<MdbField>* fields);
    void putValue(std::string& out, const MdbColumn* col, const MdbField& field);
    bool putLongValue(std::string& out, const MdbColumn* col, const MdbField& field);
    void putText(std::string& out, const unsigned char* p, std::size_t n, bool whole = true);
    bool readLongValue(const unsigned char* ref, int size, std::string* value);
    void markMisplacedPages(const std::vector<std::uint32_t>& pages, unsigned long tablePage,
                            const std::vector<const MdbColumn*>& columns, std::vector<MdbField>& fields);
    void markMisplaced(std::uint32_t page);
    std::pair<const unsigned char*, std::size_t> longValueRow(std::uint32_t pageRow);

    MdbHandle* m_mdb;
    // The table's pages are read here, a stretch at a time, rather than
    // through libmdb, which spends three system calls on every page it reads
    // and keeps none of them.
    FilePages& m_pages;
    std::uint32_t m_pageCount;
    TablePages m_tablePages;
    FrameOutput& m_out;
    int m_pageSize;
    bool m_jet3;
    int m_codePage = 0;
    std::string m_longValue;
    QString m_text; // a text value being converted
    std::string m_row;
    std::vector<std::uint16_t> m_inPart;
    std::string m_tableName;
    MdbTableDef* m_table = nullptr;
    // Long-value pages that broke a value of the table: the values they hold
    // cannot be trusted, though each may look sound on its own (a page that
    // took another's place holds rows of the right shape).
    std::vector<bool> m_misplaced;
    std::vector<std::uint32_t> m_chain; // pages of the value being followed
};

inline bool isLongValue(const MdbColumn* col)
{
    return col->col_type == MDB_MEMO || col->col_type == MDB_OLE;
}
// A long value whose pages cannot be followed whole. `pageLost`: the link
// leads to a page that is no long-value page at all (gone, zeroed, noise, or
// another kind of page). Otherwise it leads to a long-value page without the
// row it names, which is what a page that stands in another's place gives:
// the links read before it may then have been another value's.
struct BrokenLink {
    bool pageLost;
    bool misplaced = false; // a page that broke another value
};

} // namespace Orvanta::Jet
