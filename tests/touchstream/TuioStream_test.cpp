#include "touchstream/TuioStream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "support/LogCapture.h"
#include "touchstream/TuioText.h"

using VexoSource::TuioStepResult;
using VexoSource::TuioStream;
using VexoSource::VexoGroup;
using VexoSource::VexoTUIOTouch_Ele;
using namespace tuiotext;

namespace {

std::string ReadRealStream() {
    std::ifstream in(std::string(QLN_TEST_DATA) + "/tuio-stream-real.bin", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> SplitOnNul(const std::string& bytes) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t nul; (nul = bytes.find('\0', start)) != std::string::npos; start = nul + 1)
        parts.push_back(bytes.substr(start, nul - start));
    return parts;
}

// What the consumer sees: the set's ids after every packet that replaced it.
struct Seen {
    std::vector<std::vector<int32_t>> sets;
    size_t skipped = 0;
};

Seen Feed(const std::string& bytes, size_t chunk) {
    VexoGroup<VexoTUIOTouch_Ele> touches;
    TuioStream stream(touches);
    Seen seen;
    for (size_t at = 0; at < bytes.size(); at += chunk) {
        stream.Append(bytes.substr(at, chunk));
        for (TuioStepResult r; (r = stream.Step()) != TuioStepResult::Idle;) {
            if (r == TuioStepResult::Skipped) {
                ++seen.skipped;
                continue;
            }
            std::vector<int32_t> ids;
            for (int32_t i = 0; i < touches.Count(); ++i) {
                const VexoTUIOTouch_Ele* t = touches.Get(i);
                ids.push_back(t->id);
                // Real positions are normalised: a misread number shows up here.
                EXPECT_GE(t->x, 0.0f);
                EXPECT_LE(t->x, 1.0f);
                EXPECT_GE(t->y, 0.0f);
                EXPECT_LE(t->y, 1.0f);
            }
            seen.sets.push_back(ids);
        }
    }
    return seen;
}

}  // namespace

// The recorded stream of a real producer: three cursors moving and lifting, other profiles'
// packets at start, E-notation numbers and a NUL after every packet. Every cursor packet must come
// through whatever the receive sizes, and the other profiles' packets must leave the set alone.
TEST(TuioStream, HandlesEveryPacketOfARealStream) {
    const std::string real = ReadRealStream();
    const std::vector<std::string> packets = SplitOnNul(real);
    ASSERT_EQ(packets.size(), 272u);
    size_t cursorPackets = 0;
    for (const std::string& p : packets)
        if (p.find("<MESSAGE NAME=\"/tuio/2Dcur\"") == p.find("<MESSAGE ")) ++cursorPackets;
    ASSERT_EQ(cursorPackets, 268u);

    LogCapture log;
    const Seen whole = Feed(real, real.size());
    EXPECT_EQ(whole.sets.size(), cursorPackets);
    EXPECT_EQ(whole.skipped, packets.size() - cursorPackets);
    EXPECT_FALSE(log.Contains("Exception - ")) << ::testing::PrintToString(log.Lines());
    size_t most = 0;
    for (const auto& ids : whole.sets) most = std::max(most, ids.size());
    EXPECT_EQ(most, 3u);
    EXPECT_TRUE(whole.sets.back().empty());  // every cursor lifted at the end

    for (size_t chunk : {1u, 100u, 512u}) {
        const Seen split = Feed(real, chunk);
        EXPECT_EQ(split.sets, whole.sets) << "receives of " << chunk;
    }
    // A producer that sends no NUL at all: packets back to back.
    std::string joined;
    for (const std::string& p : packets) joined += p;
    EXPECT_EQ(Feed(joined, 512).sets, whole.sets);
}

TEST(TuioStream, OtherProfilesBetweenCursorPacketsKeepTheHeldFinger) {
    const std::string stream = Wire(Packet(Alive({1}) + Set(1, "0.5", "0.5") + Fseq(1))) +
                               Wire(Packet(Message({"alive"}, "/tuio/2Dobj") + Message({"fseq", "-1"}, "/tuio/2Dobj"))) +
                               Wire(Packet(Message({"alive"}, "/tuio/2Dblb"))) +
                               Wire(Packet(Alive({1}) + Set(1, "0.6", "0.5") + Fseq(2))) + Wire(Packet(Alive({}) + Fseq(3)));
    const Seen seen = Feed(stream, 512);
    EXPECT_EQ(seen.sets, (std::vector<std::vector<int32_t>>{{1}, {1}, {}}));
    EXPECT_EQ(seen.skipped, 2u);
}

TEST(TuioStream, OversizedAndMalformedPacketsAreDroppedAndTheStreamGoesOn) {
    LogCapture log;
    const std::string stream = Wire(PacketOfLength(5000)) + Wire(Packet(Set(1, "0.1", "0.1"))) +
                               Wire("<OSCPACKET><MESSAGE NAME=\"/tuio/2Dcur\"></OSCPACKET>") +
                               Wire(Packet(Set(2, "0.2", "0.2")));
    const Seen seen = Feed(stream, 512);
    EXPECT_EQ(seen.sets, (std::vector<std::vector<int32_t>>{{1}, {2}}));
    EXPECT_EQ(seen.skipped, 2u);
    EXPECT_EQ(log.Count("Exception - "), 1u);  // the malformed one only
}

TEST(TuioStream, UnclosedTextIsDiscardedWithALogLine) {
    LogCapture log;
    const std::string stream = std::string(100000, 'x') + Wire(Packet(Set(4, "0.4", "0.4")));
    const Seen seen = Feed(stream, 512);
    EXPECT_EQ(seen.sets, std::vector<std::vector<int32_t>>{{4}});
    EXPECT_TRUE(log.Contains("without a closing tag discarded")) << ::testing::PrintToString(log.Lines());
}

// Anything may come: the real stream cut at any point and mutated, and random bytes, in any chunk
// sizes. Every complete packet is handled, and then the accumulator and the set keep their bounds.
TEST(TuioStream, ArbitraryBytesKeepTheBounds) {
    const std::string real = ReadRealStream();
    ASSERT_FALSE(real.empty());
    auto feed = [](const std::string& bytes, size_t chunk) {
        VexoGroup<VexoTUIOTouch_Ele> touches;
        TuioStream stream(touches);
        for (size_t at = 0; at < bytes.size(); at += chunk) {
            stream.Append(bytes.substr(at, chunk));
            while (stream.Step() != TuioStepResult::Idle) {
            }
            ASSERT_LE(stream.Framer().Pending().size(), VexoSource::TuioFramer::kMaxAccumulator);
            ASSERT_GE(touches.Count(), 0);
            ASSERT_LE(touches.Count(), VexoGroup<VexoTUIOTouch_Ele>::kMaxElements);
        }
    };
    LogCapture quiet(3);  // parser complaints are expected; keep them out of the output
    feed(real, 1 + 255);
    std::mt19937 rng(1234);
    const char letters[] = "<>/=\" OSCPACKETMESSAGENAMEVALUEARGUMENT/tuio/2Dcurset0123456789.-E";
    const std::string alphabet(letters, sizeof letters);  // with the terminating NUL: the packets' end mark
    for (int round = 0; round < 300; ++round) {
        std::string bytes = real.substr(rng() % real.size(), 1 + rng() % 6000);
        for (int k = 0, n = int(rng() % 40); k < n; ++k) bytes[rng() % bytes.size()] = alphabet[rng() % alphabet.size()];
        feed(bytes, 1 + rng() % 256);
        std::string noise(rng() % 3000, '\0');
        for (char& c : noise) c = char(rng() % 256);
        feed(noise, 1 + rng() % 256);
        if (HasFatalFailure()) return;
    }
}
