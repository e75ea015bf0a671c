// Cuts the touch stream's bytes into packet texts: "<OSCPACKET" ... "</OSCPACKET>".
//
// Pure: chunks go in with Append, one step of Next hands out at most one packet. No I/O, no
// thread; the reader owns one instance and uses it on its thread only.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace VexoSource {

enum class TuioFrameStep {
    NeedMore,   // no complete packet yet; the accumulator is kept
    Packet,     // `packet` holds one packet text
    Oversize,   // a packet of kMaxPacket characters or more was cut out and dropped
    Orphan,     // a closing tag without an opening tag before it: everything through it was cut
    Overflow,   // no closing tag within kMaxAccumulator characters: the stale text was discarded
};

class TuioFramer {
public:
    static constexpr const char* kOpenTag = "<OSCPACKET";
    static constexpr const char* kCloseTag = "</OSCPACKET>";
    static constexpr size_t kOpenTagLength = 10;
    static constexpr size_t kCloseTagLength = 12;
    // The reader's packet buffer holds 4096 bytes with its terminating zero.
    static constexpr size_t kMaxPacket = 4096;
    // Bound for text that has no closing tag yet: sixteen of the largest packets.
    static constexpr size_t kMaxAccumulator = 64 * 1024;

    // Appends received bytes. Producers end each packet with a NUL; every NUL becomes a blank, so
    // the bytes after it are kept and the character after a closing tag is that blank.
    void Append(const char* data, size_t length);
    void Append(const std::string& chunk) { Append(chunk.data(), chunk.size()); }

    // One framing step. For Packet, `packet` is the opening tag nearest before the first closing
    // tag through that closing tag, plus the one character after it when it has arrived. With
    // that character counted whether it has arrived or not, a packet of kMaxPacket characters or
    // more is dropped. The pending text then begins after the
    // closing tag. `packet` is left alone for the other results.
    TuioFrameStep Next(std::string& packet);

    // Characters discarded by the last Overflow step.
    size_t LastDiscarded() const { return m_lastDiscarded; }
    // The text received and not yet cut.
    std::string_view Pending() const {
        return std::string_view(m_accumulator).substr(m_start);
    }
    void Clear() {
        m_accumulator.clear();
        m_start = 0;
        m_searched = 0;
    }

private:
    // Cutting a packet only moves m_start: the text behind it is not moved for every packet, but
    // once per Append, when the cut front is dropped.
    std::string m_accumulator;
    size_t m_start = 0;     // the pending text begins here
    size_t m_searched = 0;  // the accumulator holds no closing tag that starts before this
    size_t m_lastDiscarded = 0;
};

}  // namespace VexoSource
