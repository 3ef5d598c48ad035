// Where the rows of a table lie: the data pages its usage map names, and,
// where the map cannot be read, the data pages whose header names the table's
// definition as their owner.
//
// The usage map is one row on a data page, named by the table definition. It
// either marks pages by bits from a first page on (type 0), or lists pages of
// bits, each covering a stretch of the file (type 1). One zeroed page can
// take the whole map, or a stretch of it, with it, while every data page is
// sound: each of those still carries its owner in its header. So the map is
// trusted where it can be read, and the file's pages are scanned (once per
// file, whatever the number of tables that need it) only for the stretches it
// cannot speak for. A page that the map leaves out of a stretch it does speak
// for is not the table's, even if its header says so: tables leave pages
// behind that still name them, rows and all (the Jet 3 sample has 257 such
// pages of one table, with 2,049 rows on them that are not deleted). Where
// the map cannot speak, such pages cannot be told from the table's own; the
// table's row count then bounds what is served.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Orvanta::Jet {

class FilePages;

class TablePages {
public:
    struct Format {
        int pageSize = 0;
        int rowCountOffset = 0;  // of a data page's row count
        int usageMapOffset = 0;  // of the map's page and row in a table definition
    };

    TablePages(FilePages& pages, const Format& format);

    struct Found {
        // In storage order: the order the map lists them in, which is page
        // order, with pages found by their owner alone among them.
        std::vector<std::uint32_t> pages;
        // Pages the map names past the end of the file, and pages found by
        // their owner that are no sound data page.
        std::uint32_t pagesSkipped = 0;
    };

    // The pages of the table defined on `tablePage`, which counts `rowsCounted`
    // rows. Pages the map names are not checked here; each is checked when its
    // rows are read.
    Found find(std::uint32_t tablePage, std::uint32_t rowsCounted);

private:
    struct Span {
        std::uint64_t first;
        std::uint64_t end;
    };

    bool readMap(std::uint32_t tablePage, std::vector<unsigned char>& map);
    bool ownedBy(std::uint32_t page, std::uint32_t tablePage);
    bool holdsSoundRows(const unsigned char* buf) const;
    const std::vector<std::uint32_t>& owners();

    FilePages& m_pages;
    Format m_format;
    // The owner named by each page that looks like a data page, or kNoOwner;
    // filled by the one scan of the file, when a map first fails.
    std::vector<std::uint32_t> m_owners;
    bool m_scanned = false;
};

} // namespace Orvanta::Jet
