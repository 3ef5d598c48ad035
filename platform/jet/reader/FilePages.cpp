#include "platform/jet/reader/FilePages.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace Orvanta::Jet {

namespace {
// Pages read at once, and the stretches kept: a table's rows lie on pages in
// order, the long values of a row mostly on pages near them.
constexpr std::uint32_t kStretchPages = 16;
constexpr std::size_t kStretches = 4;
} // namespace

FilePages::FilePages(int fd, int pageSize, std::uint32_t pageCount)
    : m_fd(fd), m_pageSize(pageSize), m_pageCount(pageCount), m_stretches(kStretches)
{
}

const unsigned char* FilePages::page(std::uint32_t number)
{
    if (number >= m_pageCount)
        return nullptr;
    const std::uint32_t first = number / kStretchPages * kStretchPages;
    Stretch* found = nullptr;
    for (Stretch& s : m_stretches) {
        if (s.pages > 0 && s.first == first) {
            found = &s;
            break;
        }
    }
    if (!found) {
        // The stretch read from longest ago makes room.
        found = &*std::min_element(m_stretches.begin(), m_stretches.end(),
                                   [](const Stretch& a, const Stretch& b) { return a.used < b.used; });
        if (!load(*found, first))
            return nullptr;
    }
    found->used = ++m_clock;
    const std::uint32_t index = number - first;
    if (index >= found->pages)
        return nullptr;
    return found->bytes.data() + std::size_t(index) * std::size_t(m_pageSize);
}

bool FilePages::load(Stretch& stretch, std::uint32_t first)
{
    const std::uint32_t pages = std::min(kStretchPages, m_pageCount - first);
    const std::size_t size = std::size_t(pages) * std::size_t(m_pageSize);
    stretch.bytes.resize(std::size_t(kStretchPages) * std::size_t(m_pageSize));
    stretch.pages = 0;
    const off_t at = off_t(first) * m_pageSize;
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::pread(m_fd, stretch.bytes.data() + got, size - got, at + off_t(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += std::size_t(n);
    }
    // A file cut short since it was measured keeps the whole pages it has.
    stretch.first = first;
    stretch.pages = std::uint32_t(got / std::size_t(m_pageSize));
    return stretch.pages > 0;
}

} // namespace Orvanta::Jet
