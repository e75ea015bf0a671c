#include "touchstream/TuioFramer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "touchstream/TuioText.h"

using VexoSource::TuioFrameStep;
using VexoSource::TuioFramer;
using namespace tuiotext;

namespace {

struct Out {
    TuioFrameStep step;
    std::string packet;  // for Packet steps
    bool operator==(const Out& o) const { return step == o.step && (step != TuioFrameStep::Packet || packet == o.packet); }
};

std::ostream& operator<<(std::ostream& os, const Out& o) {
    static const char* names[] = {"NeedMore", "Packet", "Oversize", "Orphan", "Overflow"};
    os << names[int(o.step)];
    if (o.step == TuioFrameStep::Packet) os << "[" << o.packet << "]";
    return os;
}

// Appends each chunk as one receive and takes every step until the framer needs more.
std::vector<Out> Drive(TuioFramer& framer, const std::vector<std::string>& chunks) {
    std::vector<Out> out;
    for (const std::string& chunk : chunks) {
        framer.Append(chunk);
        for (;;) {
            std::string packet = "untouched";
            const TuioFrameStep step = framer.Next(packet);
            if (step == TuioFrameStep::NeedMore) break;
            if (step != TuioFrameStep::Packet) {
                EXPECT_EQ(packet, "untouched");
            }
            out.push_back({step, packet});
        }
    }
    return out;
}

Out P(const std::string& text) { return {TuioFrameStep::Packet, text}; }
const Out kOversize{TuioFrameStep::Oversize, ""};
const Out kOrphan{TuioFrameStep::Orphan, ""};

const std::string A = Packet(Set(3, "0.25", "0.5"));
const std::string B = Packet(Set(5, "0.75", "0.125"));
const std::string C = Packet(Alive({}));
const std::string NUL(1, '\0');

}  // namespace

TEST(TuioFramer, CutsPacketsOutOfTheByteStream) {
    struct Row {
        const char* name;
        std::vector<std::string> chunks;
        std::vector<Out> expected;
        std::string rest;  // accumulator afterwards
    };
    const std::string lostEnd = "<OSCPACKET ADDRESS=\"127.0.0.1\"><MESSAGE NAME=\"/tuio/2Dcur\"><ARGU";
    const std::vector<Row> rows = {
        {"one packet", {A}, {P(A)}, ""},
        {"split over two receives", {A.substr(0, 40), A.substr(40)}, {P(A)}, ""},
        {"split inside the closing tag", {A.substr(0, A.size() - 5), A.substr(A.size() - 5)}, {P(A)}, ""},
        {"only an opening tag waits", {A.substr(0, 30)}, {}, A.substr(0, 30)},
        {"text before the first opening tag", {"xx junk " + A}, {P(A)}, ""},
        {"blank after the closing tag is the tail", {A + " " + B}, {P(A + " "), P(B)}, ""},
        {"next packet right after the closing tag", {A + B}, {P(A + "<"), P(B)}, ""},
        {"two NUL-ended packets in one receive", {A + NUL + B + NUL}, {P(A + " "), P(B + " ")}, " "},
        {"three NUL-ended packets in one receive", {A + NUL + B + NUL + C + NUL}, {P(A + " "), P(B + " "), P(C + " ")}, " "},
        {"junk before NUL-ended packets", {"?!" + NUL + "junk" + A + NUL + B + NUL}, {P(A + " "), P(B + " ")}, " "},
        {"NUL split from its packet", {A, NUL + B, NUL}, {P(A), P(B)}, " "},
        {"closing tag before any opening tag", {"E=\"1\" /></MESSAGE></OSCPACKET>" + NUL + A}, {kOrphan, P(A)}, ""},
        {"closing tag at the very start", {"</OSCPACKET>" + A}, {kOrphan, P(A)}, ""},
        {"a packet whose end was lost", {lostEnd + A + NUL}, {P(A + " ")}, " "},
        {"oversized packet dropped, stream goes on", {PacketOfLength(5000) + NUL + A + NUL}, {kOversize, P(A + " ")}, " "},
        {"largest packet that fits", {PacketOfLength(4094) + NUL}, {P(PacketOfLength(4094) + " ")}, " "},
        {"largest packet, tail not yet here", {PacketOfLength(4094)}, {P(PacketOfLength(4094))}, ""},
        {"the tail counts towards the bound", {PacketOfLength(4095) + NUL + A}, {kOversize, P(A)}, ""},
        {"the tail counts even before it arrives", {PacketOfLength(4095)}, {kOversize}, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TuioFramer framer;
        EXPECT_EQ(Drive(framer, row.chunks), row.expected);
        EXPECT_EQ(framer.Pending(), row.rest);
    }
}

// Byte-by-byte delivery gives the same packets as one receive, the packets at the size bound
// included.
TEST(TuioFramer, SameResultWhateverTheReceiveSizes) {
    const std::string stream = "junk" + A + NUL + B + NUL + PacketOfLength(4095) + NUL + PacketOfLength(4094) + NUL +
                               PacketOfLength(5000) + NUL + C + NUL;
    TuioFramer whole;
    const std::vector<Out> expected = Drive(whole, {stream});
    ASSERT_EQ(expected.size(), 6u);
    for (size_t size : {1u, 3u, 13u, 512u}) {
        std::vector<std::string> chunks;
        for (size_t at = 0; at < stream.size(); at += size) chunks.push_back(stream.substr(at, size));
        TuioFramer framer;
        std::vector<Out> got = Drive(framer, chunks);
        // Whether the blank after a closing tag rides along depends on whether it had arrived.
        ASSERT_EQ(got.size(), expected.size());
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].step, expected[i].step);
            const std::string& g = got[i].packet;
            EXPECT_EQ(g.substr(0, g.find("</OSCPACKET>")), expected[i].packet.substr(0, expected[i].packet.find("</OSCPACKET>")));
        }
    }
}

// Text that never closes is discarded once it passes the bound; an opening tag near the end
// survives, so a packet that began there is still delivered.
TEST(TuioFramer, AccumulatorIsBounded) {
    TuioFramer framer;
    const std::string junk(TuioFramer::kMaxAccumulator + 100, 'j');
    std::vector<Out> out = Drive(framer, {junk});
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].step, TuioFrameStep::Overflow);
    EXPECT_LT(framer.Pending().size(), size_t(TuioFramer::kOpenTagLength));
    EXPECT_EQ(framer.LastDiscarded(), junk.size() - framer.Pending().size());

    // A partial opening tag split over the discard point is kept.
    framer.Append(A.substr(0, 5));
    EXPECT_EQ(Drive(framer, {A.substr(5) + NUL}), std::vector<Out>{P(A + " ")});

    TuioFramer second;
    out = Drive(second, {junk + A.substr(0, 200), A.substr(200)});
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].step, TuioFrameStep::Overflow);
    EXPECT_EQ(out[1], P(A));

    // A growing unclosed packet is cut too: it could never fit the packet buffer.
    TuioFramer third;
    out = Drive(third, {"<OSCPACKET " + junk});
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].step, TuioFrameStep::Overflow);
    EXPECT_LE(third.Pending().size(), TuioFramer::kMaxAccumulator);
}
