// A set of document numbers (rowids from 0 to 2^32 - 1), compressed: the
// posting sets of the content index and the results computed from them.
// A thin value type over CRoaring, so that the rest of the program never sees
// the library; the stored form is CRoaring's portable format, which the
// library reads back with bounds checks.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct roaring_bitmap_s;

namespace Orvanta {

class PostingSet {
public:
    PostingSet();
    ~PostingSet();
    PostingSet(const PostingSet& other);
    PostingSet& operator=(const PostingSet& other);
    PostingSet(PostingSet&& other) noexcept;
    PostingSet& operator=(PostingSet&& other) noexcept;

    // Adds in ascending order is fastest, but any order works.
    void add(uint32_t value);
    void addMany(const uint32_t* values, size_t count);
    // Every value from `first` to `last`, both included.
    void addRange(uint32_t first, uint32_t last);
    bool contains(uint32_t value) const;
    uint64_t size() const;
    bool isEmpty() const;

    void intersectWith(const PostingSet& other);
    void unite(const PostingSet& other);
    void subtract(const PostingSet& other);

    // The members in ascending order.
    std::vector<uint32_t> values() const;
    template <typename F>
    void forEach(F&& f) const
    {
        for (uint32_t v : values())
            f(v);
    }

    // Compacts runs before the set is stored.
    void optimize();
    std::string serialize() const;
    // The bytes serialize() would give.
    size_t serializedBytes() const;
    // nullopt when `bytes` is not a well-formed stored set.
    static std::optional<PostingSet> deserialize(std::string_view bytes);

private:
    roaring_bitmap_s* m_set = nullptr;
};

} // namespace Orvanta
