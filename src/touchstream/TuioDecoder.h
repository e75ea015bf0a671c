// Turns one packet text into the touches of its cursor "set" messages.
//
// Pure apart from its reusable scratch objects: the reader owns one instance and uses it on its
// thread only. Element names are not examined; only the "NAME" and "VALUE" attributes are.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "touchstream/VexoGroup.h"
#include "touchstream/VexoTUIOTouch.h"

namespace VexoSource {

enum class TuioDecodeResult {
    Touches,    // the packet spoke about cursors: `touches` now holds exactly its touches
    Malformed,  // not well-formed XML (logged by the parser); `touches` untouched
    NoRoot,     // no element at all; `touches` untouched
    NoCursor,   // the walk ended before any cursor message (another profile, or no message);
                // the packet says nothing about cursors and `touches` is untouched
};

class TuioDecoder {
public:
    TuioDecoder();
    ~TuioDecoder();
    TuioDecoder(const TuioDecoder&) = delete;
    TuioDecoder& operator=(const TuioDecoder&) = delete;

    static constexpr const char* kCursorProfile = "/tuio/2Dcur";
    // Values read after "set": the touch id, x, y and five further values.
    static constexpr int kSetValues = 8;

    // Decodes `text`; on Touches the set is replaced in place (same container object): the touches
    // of its "set" messages in order, then those its "alive" names without a "set" (a producer
    // sends "set" only for touches that changed), with the values they had in the set before.
    TuioDecodeResult Decode(const std::string& text, VexoGroup<VexoTUIOTouch_Ele>& touches);

    // The number readings of the stream's "VALUE" texts: leading white space skipped, reading
    // stops at the first character that does not fit, 0 when no number begins the text
    // (12abc -> 12, abc -> 0). A null text (no attribute) is 0.
    int32_t ReadInt(const char* text);
    float ReadFloat(const char* text);

private:
    void LoadStream(const char* text);

    VexoGroup<VexoTUIOTouch_Ele> m_scratch;  // the new set, built before the old one is replaced
    std::vector<int32_t> m_alive;            // the ids the packet's "alive" names; reused
    std::wistringstream m_stream;            // reused: a stream per value would dominate the cost
    std::wstring m_wide;
};

}  // namespace VexoSource
