// The reader's side of the stream to JetImport: frames collected in a large
// buffer and written to a file descriptor in big blocks.
#pragma once

#include "platform/jet/JetProtocol.h"

#include <string>
#include <string_view>

namespace Orvanta::Jet {

class FrameOutput {
public:
    explicit FrameOutput(int fd);
    ~FrameOutput();
    FrameOutput(const FrameOutput&) = delete;
    FrameOutput& operator=(const FrameOutput&) = delete;

    // The buffer to append a frame to, between begin() and finish().
    std::string& begin(JetProtocol::FrameKind kind);
    void finish();

    // Drops a frame left unfinished (the reading stopped inside it) first.
    void failure(int errorNumber, std::string_view message);
    // `peakKilobytes`: the most memory the reader held.
    void end(std::uint32_t peakKilobytes);

    // Writes out what is buffered. Returns false when the other side is gone.
    bool flush();

private:
    int m_fd;
    std::string m_buffer;
    std::size_t m_frameStart = 0;
    bool m_inFrame = false;
    bool m_broken = false;
};

} // namespace Orvanta::Jet
