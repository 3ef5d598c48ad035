#include "platform/jet/reader/FrameOutput.h"

#include <cerrno>
#include <cstdlib>
#include <unistd.h>

namespace Orvanta::Jet {

namespace {
constexpr std::size_t kFlushAt = std::size_t(1) << 20;
}

FrameOutput::FrameOutput(int fd)
    : m_fd(fd)
{
    m_buffer.reserve(kFlushAt + (kFlushAt >> 2));
}

FrameOutput::~FrameOutput()
{
    flush();
}

std::string& FrameOutput::begin(JetProtocol::FrameKind kind)
{
    m_frameStart = JetProtocol::beginFrame(m_buffer, kind);
    m_inFrame = true;
    return m_buffer;
}

void FrameOutput::finish()
{
    JetProtocol::finishFrame(m_buffer, m_frameStart);
    m_inFrame = false;
    if (m_buffer.size() >= kFlushAt && !flush())
        std::_Exit(JetProtocol::kExitFailure); // nobody listens any more
}

void FrameOutput::failure(int errorNumber, std::string_view message)
{
    if (m_inFrame) {
        m_buffer.resize(m_frameStart);
        m_inFrame = false;
    }
    std::string& out = begin(JetProtocol::FrameKind::Failure);
    JetProtocol::putU16(out, std::uint16_t(errorNumber));
    JetProtocol::putBytes(out, message);
    finish();
}

void FrameOutput::end(std::uint32_t peakKilobytes)
{
    JetProtocol::putU32(begin(JetProtocol::FrameKind::End), peakKilobytes);
    finish();
}

bool FrameOutput::flush()
{
    const char* p = m_buffer.data();
    std::size_t left = m_buffer.size();
    while (left > 0 && !m_broken) {
        const ssize_t n = ::write(m_fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            m_broken = true;
            break;
        }
        p += n;
        left -= std::size_t(n);
    }
    m_buffer.clear();
    return !m_broken;
}

} // namespace Orvanta::Jet
