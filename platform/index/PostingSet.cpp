#include "platform/index/PostingSet.h"

#include <roaring/roaring.h>

#include <new>
#include <utility>

namespace Orvanta {

namespace {

roaring_bitmap_t* created(roaring_bitmap_t* set)
{
    if (!set)
        throw std::bad_alloc();
    return set;
}

} // namespace

PostingSet::PostingSet() : m_set(created(roaring_bitmap_create())) {}

PostingSet::~PostingSet()
{
    if (m_set)
        roaring_bitmap_free(m_set);
}

PostingSet::PostingSet(const PostingSet& other) : m_set(created(roaring_bitmap_copy(other.m_set))) {}

PostingSet& PostingSet::operator=(const PostingSet& other)
{
    if (this != &other) {
        PostingSet copy(other);
        std::swap(m_set, copy.m_set);
    }
    return *this;
}

// A moved-from set is empty, never null.
PostingSet::PostingSet(PostingSet&& other) noexcept : m_set(std::exchange(other.m_set, nullptr))
{
    other.m_set = roaring_bitmap_create();
}

PostingSet& PostingSet::operator=(PostingSet&& other) noexcept
{
    std::swap(m_set, other.m_set);
    return *this;
}

void PostingSet::add(uint32_t value)
{
    roaring_bitmap_add(m_set, value);
}

void PostingSet::addRange(uint32_t first, uint32_t last)
{
    roaring_bitmap_add_range_closed(m_set, first, last);
}

void PostingSet::addMany(const uint32_t* values, size_t count)
{
    roaring_bitmap_add_many(m_set, count, values);
}

bool PostingSet::contains(uint32_t value) const
{
    return roaring_bitmap_contains(m_set, value);
}

uint64_t PostingSet::size() const
{
    return roaring_bitmap_get_cardinality(m_set);
}

bool PostingSet::isEmpty() const
{
    return roaring_bitmap_is_empty(m_set);
}

void PostingSet::intersectWith(const PostingSet& other)
{
    roaring_bitmap_and_inplace(m_set, other.m_set);
}

void PostingSet::unite(const PostingSet& other)
{
    roaring_bitmap_or_inplace(m_set, other.m_set);
}

void PostingSet::subtract(const PostingSet& other)
{
    roaring_bitmap_andnot_inplace(m_set, other.m_set);
}

std::vector<uint32_t> PostingSet::values() const
{
    std::vector<uint32_t> out(static_cast<size_t>(size()));
    roaring_bitmap_to_uint32_array(m_set, out.data());
    return out;
}

void PostingSet::optimize()
{
    roaring_bitmap_run_optimize(m_set);
    roaring_bitmap_shrink_to_fit(m_set);
}

size_t PostingSet::serializedBytes() const
{
    return roaring_bitmap_portable_size_in_bytes(m_set);
}

std::string PostingSet::serialize() const
{
    std::string out(roaring_bitmap_portable_size_in_bytes(m_set), '\0');
    roaring_bitmap_portable_serialize(m_set, out.data());
    return out;
}

std::optional<PostingSet> PostingSet::deserialize(std::string_view bytes)
{
    roaring_bitmap_t* set = roaring_bitmap_portable_deserialize_safe(bytes.data(), bytes.size());
    if (!set)
        return std::nullopt;
    // Trailing bytes mean the stored set is not what was written.
    if (roaring_bitmap_portable_size_in_bytes(set) != bytes.size()) {
        roaring_bitmap_free(set);
        return std::nullopt;
    }
    PostingSet out;
    roaring_bitmap_free(out.m_set);
    out.m_set = set;
    return out;
}

} // namespace Orvanta
