// The byte stream between the Jet reader process and JetImport.
//
// The reader writes a sequence of frames to its standard output. A frame is a
// little-endian u32 payload length, one kind byte, then the payload:
//
//   Start      u32 magic, u8 Jet version (0 = Jet 3, 1 = Jet 4, 2.. = ACE),
//              u16 code page of the file's 8-bit text
//   Table      str name, u16 column count, then per column:
//              str name, u8 ValueType, u8 Jet column type
//   Row        per column one value: u8 ValueTag, then
//              Integer: i64; Real: f64 (IEEE bits as u64); Text: str;
//              Blob: u32 length + bytes; Null: nothing
//   PartialRow u16 count, that many u16 column indices, then the values as
//              in Row: a row whose long values at those columns could be
//              read only in part (they hold the part known to be theirs)
//   LostRow    the values as in Row, Null where unreadable: a row left out
//              because a value other than a long value cannot be read
//   Losses     u32 rows the table definition counts, u32 rows left out (lost
//              rows and rows on pages that cannot be read), u32 rows sent in
//              part, u32 pages of the table's map that hold none of its rows;
//              sent before TableEnd when anything of the table was lost
//   TableEnd   u32 row count of the table just sent (Row and PartialRow)
//   Failure    u16 error number (Orvanta::ErrorCode), str message
//   End        u32 the most memory the reader held, in KB (its own, since it
//              started the reader program); the stream is complete only with it
//
// A str is a u32 byte length followed by UTF-8. NULL is its own tag, so an
// empty text (Text with length 0) never reads as NULL.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace Orvanta::JetProtocol {

constexpr std::uint32_t kMagic = 0x314A524F; // "ORJ1"
constexpr std::size_t kFrameHeaderSize = 5;
// No value of a well-formed stream comes near this; a bigger length means the
// stream is garbage.
constexpr std::uint32_t kMaxPayload = 1u << 30;

enum class FrameKind : std::uint8_t {
    Start = 1,
    Table = 2,
    Row = 3,
    TableEnd = 4,
    Failure = 5,
    End = 6,
    PartialRow = 7,
    LostRow = 8,
    Losses = 9,
};

// What a column becomes in SQLite.
enum class ValueType : std::uint8_t {
    Integer = 1,  // byte, integer, long, autonumber
    Real = 2,     // single, double, currency, decimal
    Text = 3,     // text, memo, replication id
    Blob = 4,     // binary, OLE object
    Date = 5,     // date/time as 'YYYY-MM-DD HH:MM:SS'
    Boolean = 6,  // yes/no as 0/1
};

enum class ValueTag : std::uint8_t {
    Null = 0,
    Integer = 1,
    Real = 2,
    Text = 3,
    Blob = 4,
};

// Exit codes of the reader besides 0. The Failure frame carries the detail.
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// ---- writing -------------------------------------------------------------

inline void putU8(std::string& out, std::uint8_t v) { out.push_back(char(v)); }

inline void putU16(std::string& out, std::uint16_t v)
{
    const char b[2] = {char(v & 0xFF), char(v >> 8)};
    out.append(b, 2);
}

inline void putU32(std::string& out, std::uint32_t v)
{
    const char b[4] = {char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char(v >> 24)};
    out.append(b, 4);
}

inline void putU64(std::string& out, std::uint64_t v)
{
    putU32(out, std::uint32_t(v));
    putU32(out, std::uint32_t(v >> 32));
}

inline void putF64(std::string& out, double v)
{
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    putU64(out, bits);
}

inline void putBytes(std::string& out, std::string_view bytes)
{
    putU32(out, std::uint32_t(bytes.size()));
    out.append(bytes);
}

// Starts a frame in `out`; finishFrame() fills in its length.
inline std::size_t beginFrame(std::string& out, FrameKind kind)
{
    const std::size_t at = out.size();
    putU32(out, 0);
    putU8(out, std::uint8_t(kind));
    return at;
}

// Fills in a u32 written earlier (as 0) at `at`, once its value is known.
inline void setU32(std::string& out, std::size_t at, std::uint32_t v)
{
    const char b[4] = {char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char(v >> 24)};
    std::memcpy(out.data() + at, b, 4);
}

inline void finishFrame(std::string& out, std::size_t at)
{
    setU32(out, at, std::uint32_t(out.size() - at - kFrameHeaderSize));
}

// ---- reading -------------------------------------------------------------

// Reads values from one payload. Every getter checks the bounds; after a
// short read ok() is false and the getters return zeros.
class PayloadReader {
public:
    PayloadReader(const char* data, std::size_t size) : m_p(data), m_end(data + size) {}

    bool ok() const { return m_ok; }
    bool atEnd() const { return m_p == m_end; }

    std::uint8_t u8()
    {
        if (!need(1))
            return 0;
        return std::uint8_t(*m_p++);
    }

    std::uint16_t u16()
    {
        if (!need(2))
            return 0;
        const auto* b = reinterpret_cast<const unsigned char*>(m_p);
        m_p += 2;
        return std::uint16_t(b[0] | (b[1] << 8));
    }

    std::uint32_t u32()
    {
        if (!need(4))
            return 0;
        const auto* b = reinterpret_cast<const unsigned char*>(m_p);
        m_p += 4;
        return std::uint32_t(b[0]) | (std::uint32_t(b[1]) << 8) | (std::uint32_t(b[2]) << 16)
            | (std::uint32_t(b[3]) << 24);
    }

    std::uint64_t u64()
    {
        const std::uint64_t lo = u32();
        const std::uint64_t hi = u32();
        return lo | (hi << 32);
    }

    double f64()
    {
        const std::uint64_t bits = u64();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }

    std::string_view bytes()
    {
        const std::uint32_t len = u32();
        if (!need(len))
            return {};
        std::string_view v(m_p, len);
        m_p += len;
        return v;
    }

private:
    bool need(std::size_t n)
    {
        if (!m_ok || std::size_t(m_end - m_p) < n) {
            m_ok = false;
            m_p = m_end;
            return false;
        }
        return true;
    }

    const char* m_p;
    const char* m_end;
    bool m_ok = true;
};

} // namespace Orvanta::JetProtocol
