#include "touchstream/TuioFramer.h"

#include <cstring>

namespace VexoSource {

void TuioFramer::Append(const char* data, size_t length) {
    if (!data || length == 0) return;
    if (m_start > 0) {
        m_accumulator.erase(0, m_start);
        m_searched = m_searched > m_start ? m_searched - m_start : 0;
        m_start = 0;
    }
    const size_t start = m_accumulator.size();
    m_accumulator.append(data, length);
    char* const end = &m_accumulator[0] + m_accumulator.size();
    for (char* p = &m_accumulator[0] + start; (p = static_cast<char*>(std::memchr(p, 0, size_t(end - p)))) != nullptr;)
        *p++ = ' ';
}

TuioFrameStep TuioFramer::Next(std::string& packet) {
    // Text already searched holds no closing tag: search on from where one could still begin.
    const size_t from = m_searched > m_start ? m_searched : m_start;
    const size_t close = m_accumulator.find(kCloseTag, from);
    const size_t pending = m_accumulator.size() - m_start;
    if (close == std::string::npos) {
        m_searched = pending < kCloseTagLength ? m_start : m_accumulator.size() - (kCloseTagLength - 1);
        if (pending <= kMaxAccumulator) return TuioFrameStep::NeedMore;
        // Keep only what can still become a packet: an opening tag close enough to the end to
        // fit in the packet bound, or else a tail that may be the start of the next opening tag.
        size_t keep = m_accumulator.size() - (kOpenTagLength - 1);
        const size_t lastOpen = m_accumulator.rfind(kOpenTag);
        if (lastOpen != std::string::npos && lastOpen >= m_start && m_accumulator.size() - lastOpen < kMaxPacket)
            keep = lastOpen;
        m_lastDiscarded = keep - m_start;
        m_accumulator.erase(0, keep);
        m_start = 0;
        m_searched = 0;
        return TuioFrameStep::Overflow;
    }

    const size_t afterClose = close + kCloseTagLength;
    // The opening tag nearest before the closing tag: text in front of it (junk, the blank left
    // by a NUL, a packet whose end was lost) never takes part in the parse.
    // (A forward search: it skips from '<' to '<', where a backward one compares at every byte.)
    size_t open = std::string::npos;
    for (size_t at = m_accumulator.find(kOpenTag, m_start); at < close; at = m_accumulator.find(kOpenTag, at + 1))
        open = at;
    TuioFrameStep step;
    if (open == std::string::npos) {
        step = TuioFrameStep::Orphan;
    } else {
        // The packet text takes the one character after the closing tag along (the blank left by
        // the producer's NUL, or the '<' of a packet right behind; the parser ignores either).
        // That character counts towards the bound even when it has not arrived yet, so whether a
        // packet fits never depends on how the stream was cut into receives.
        const size_t length = afterClose - open + 1;
        if (length >= kMaxPacket) {
            step = TuioFrameStep::Oversize;
        } else {
            packet.assign(m_accumulator, open, length);  // shorter when the tail is still to come
            step = TuioFrameStep::Packet;
        }
    }
    m_start = afterClose;
    m_searched = afterClose;
    if (m_start == m_accumulator.size()) Clear();
    return step;
}

}  // namespace VexoSource
