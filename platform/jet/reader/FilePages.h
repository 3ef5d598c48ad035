// The pages of a Jet file, read a stretch of pages at a time into a few
// buffers that are kept: reading the rows of a table, its long values and the
// pages it checks costs a system call per stretch rather than per page, and
// the reader's memory stays the same whatever the size of the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Orvanta::Jet {

class FilePages {
public:
    // The first `pageCount` pages of `pageSize` bytes of the open file `fd`,
    // which must stay open while pages are read.
    FilePages(int fd, int pageSize, std::uint32_t pageCount);

    std::uint32_t count() const { return m_pageCount; }

    // The page, or null past the end of the file or when it cannot be read.
    // Valid until the next call.
    const unsigned char* page(std::uint32_t number);

private:
    struct Stretch {
        std::uint32_t first = 0;  // its first page
        std::uint32_t pages = 0;  // pages read into it; none when unused
        std::uint64_t used = 0;   // when it was last read from
        std::vector<unsigned char> bytes;
    };

    bool load(Stretch& stretch, std::uint32_t first);

    int m_fd;
    int m_pageSize;
    std::uint32_t m_pageCount;
    std::uint64_t m_clock = 0;
    std::vector<Stretch> m_stretches;
};

} // namespace Orvanta::Jet
