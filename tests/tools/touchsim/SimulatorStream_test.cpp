// The simulator's touch stream: packet format and when packets flow.
#include <gtest/gtest.h>
#include <tinyxml.h>

#include <atomic>
#include <thread>

#include "tools/touchsim/SimTestClients.h"
#include "touchsim/Simulator.h"
#include "touchsim/TuioPacket.h"

using namespace touchsim;
using namespace touchsim_test;

namespace {

// One "/tuio/2Dcur" message: its argument values in order.
using Message = std::vector<std::string>;

// Parses a packet the strict way (well-formed XML, the expected envelope); false otherwise.
bool Messages(const std::string& packet, std::vector<Message>& out) {
    TiXmlDocument doc;
    doc.Parse(packet.c_str());
    if (doc.Error()) return false;
    TiXmlElement* root = doc.RootElement();
    if (!root || std::string(root->Value()) != "OSCPACKET") return false;
    out.clear();
    for (TiXmlElement* m = root->FirstChildElement(); m; m = m->NextSiblingElement()) {
        if (std::string(m->Value()) != "MESSAGE" || !m->Attribute("NAME") ||
            std::string(m->Attribute("NAME")) != "/tuio/2Dcur")
            return false;
        Message values;
        for (TiXmlElement* a = m->FirstChildElement(); a; a = a->NextSiblingElement()) {
            if (!a->Attribute("VALUE") || !a->Attribute("TYPE")) return false;
            values.push_back(a->Attribute("VALUE"));
        }
        out.push_back(values);
    }
    return true;
}

std::vector<Message> SetMessages(const std::vector<Message>& messages) {
    std::vector<Message> sets;
    for (const Message& m : messages)
        if (!m.empty() && m[0] == "set") sets.push_back(m);
    return sets;
}

class TouchsimStream : public ::testing::Test {
protected:
    void SetUp() override {
        Options o;
        o.rpcPort = 0;
        o.streamPort = 0;
        sim = std::make_unique<Simulator>(o);
        ASSERT_TRUE(sim->Start());
        reader = std::make_unique<StreamReader>(sim->StreamPort());
        ASSERT_TRUE(reader->Connected());
        ASSERT_TRUE(sim->WaitForStreamClients(1, kArriveMs));
    }
    std::unique_ptr<Simulator> sim;
    std::unique_ptr<StreamReader> reader;
};

}  // namespace

TEST(TouchsimPacket, BuildsTheRelayFormat) {
    std::string packet = BuildTuioPacket({{7, 0.25f, 0.5f}}, 12, 6);
    EXPECT_EQ(packet.rfind("<OSCPACKET ADDRESS=\"127.0.0.1\" PORT=\"3333\" TIME=\"0\">", 0), 0u);
    EXPECT_EQ(packet.substr(packet.size() - 12), "</OSCPACKET>");
    EXPECT_NE(packet.find("<ARGUMENT TYPE=\"f\" VALUE=\"0.25\" />"), std::string::npos);
    EXPECT_NE(packet.find("<ARGUMENT TYPE=\"s\" VALUE=\"set\" />"), std::string::npos);
    EXPECT_NE(packet.find("<ARGUMENT TYPE=\"i\" VALUE=\"7\" />"), std::string::npos);
    EXPECT_EQ(packet.find('\0'), std::string::npos);

    struct Case {
        std::vector<StreamTouch> touches;
        int setValues;
        std::vector<Message> expected;
    } cases[] = {
        {{{7, 0.25f, 0.5f}}, 6,
         {{"source", "touchsim@127.0.0.1"}, {"alive", "7"}, {"set", "7", "0.25", "0.5", "0.0", "0.0", "0.0"},
          {"fseq", "12"}}},
        {{{1, 0.1f, 0.9f}, {2, 1.0f, 0.0f}}, 8,
         {{"source", "touchsim@127.0.0.1"}, {"alive", "1", "2"},
          {"set", "1", "0.1", "0.9", "0.0", "0.0", "0.0", "0.01", "0.01"},
          {"set", "2", "1.0", "0.0", "0.0", "0.0", "0.0", "0.01", "0.01"}, {"fseq", "12"}}},
        {{}, 6, {{"source", "touchsim@127.0.0.1"}, {"alive"}, {"fseq", "12"}}},
    };
    for (const Case& c : cases) {
        std::vector<Message> got;
        ASSERT_TRUE(Messages(BuildTuioPacket(c.touches, 12, c.setValues), got));
        EXPECT_EQ(got, c.expected);
    }
}

TEST(TouchsimPacket, FloatsKeepADecimalPoint) {
    struct Case {
        float value;
        const char* text;
    } cases[] = {{0.25f, "0.25"}, {0.0f, "0.0"}, {1.0f, "1.0"}, {0.271875f, "0.271875"}, {-0.5f, "-0.5"},
                 {8.195638e-5f, "8.195638e-05"}};
    for (const Case& c : cases) EXPECT_EQ(FormatStreamFloat(c.value), c.text);
}

TEST_F(TouchsimStream, StreamsWhileAFingerIsDownThenSendsEmptyPacketsAndStops) {
    sim->FingerDown(3, 0.25f, 0.75f);
    std::vector<std::string> packets = reader->Packets(3);
    ASSERT_GE(packets.size(), 3u);
    int lastSequence = -1;
    for (const std::string& p : packets) {
        std::vector<Message> m;
        ASSERT_TRUE(Messages(p, m)) << p;
        ASSERT_EQ(SetMessages(m).size(), 1u);
        EXPECT_EQ(SetMessages(m)[0][1], "3");
        EXPECT_EQ(SetMessages(m)[0][2], "0.25");
        EXPECT_EQ(SetMessages(m)[0][3], "0.75");
        int sequence = std::stoi(m.back()[1]);
        EXPECT_GT(sequence, lastSequence);
        lastSequence = sequence;
    }

    sim->FingerMove(3, 0.5f, 0.5f);
    sim->FingerUp(3);
    // Whatever was in flight, the stream ends with a few packets without touches, then goes quiet.
    std::vector<std::string> all = reader->Packets(packets.size() + 12, 600);
    ASSERT_GT(all.size(), packets.size());
    std::vector<Message> last;
    ASSERT_TRUE(Messages(all.back(), last));
    EXPECT_TRUE(SetMessages(last).empty());
    EXPECT_EQ(last[1], (Message{"alive"}));
    size_t settled = all.size();
    EXPECT_EQ(reader->Packets(settled + 1, kSilenceMs).size(), settled) << "no packets while no finger is down";
}

TEST_F(TouchsimStream, TwoFingersAndEightValuesWhenAsked) {
    sim->SetSetArgumentCount(8);
    sim->FingerDown(1, 0.1f, 0.2f);
    sim->FingerDown(2, 0.3f, 0.4f);
    uint64_t before = sim->StreamPacketsSent();
    std::vector<Message> m;
    // The first packet may carry only the first finger; look at one built after both were down.
    for (const std::string& p : reader->Packets(before + 2)) {
        ASSERT_TRUE(Messages(p, m));
    }
    std::vector<Message> sets = SetMessages(m);
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_EQ(sets[0].size(), 9u);
    EXPECT_EQ(sets[0][1], "1");
    EXPECT_EQ(sets[1][1], "2");
    EXPECT_EQ(m[1], (Message{"alive", "1", "2"}));
}

TEST_F(TouchsimStream, TapHoldsForSomePacketsAndReturnsAfterTheLift) {
    sim->Tap(0.5f, 0.25f);
    std::vector<std::string> packets = reader->Packets(6);
    ASSERT_GE(packets.size(), 5u);
    size_t held = 0;
    bool liftSeen = false;
    for (const std::string& p : packets) {
        std::vector<Message> m;
        ASSERT_TRUE(Messages(p, m));
        auto sets = SetMessages(m);
        if (!sets.empty()) {
            EXPECT_FALSE(liftSeen) << "no touch after the lift";
            EXPECT_EQ(sets[0][2], "0.5");
            EXPECT_EQ(sets[0][3], "0.25");
            ++held;
        } else {
            liftSeen = true;
        }
    }
    EXPECT_GE(held, 4u);
    EXPECT_TRUE(liftSeen);
}

TEST_F(TouchsimStream, SplitPacketComesInTwoReceivesAndRawBytesPassUnchanged) {
    // The halves must be read as they come, so the split is sent while the reader waits.
    std::thread sender([&] { sim->SendSplitPacket(); });
    std::vector<std::string> packets = reader->Packets(1);
    sender.join();
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_GE(reader->receives.size(), 2u);
    std::vector<Message> m;
    EXPECT_TRUE(Messages(packets[0], m));

    const std::string raw = std::string("<OSCPACKET>junk</OSCPACKET>") + '\0' + "tail";
    sim->SendRawStream(raw);
    packets = reader->Packets(2);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[1], "<OSCPACKET>junk</OSCPACKET>");
}

TEST_F(TouchsimStream, EveryClientGetsThePacketsAndLeavingIsNoticed) {
    StreamReader second(sim->StreamPort());
    ASSERT_TRUE(sim->WaitForStreamClients(2, kArriveMs));
    sim->FingerDown(1, 0.5f, 0.5f);
    EXPECT_GE(reader->Packets(2).size(), 2u);
    EXPECT_GE(second.Packets(2).size(), 2u);
    sim->FingerUp(1);

    reader.reset();
    for (int i = 0; i < 100 && sim->StreamClients() != 1; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(sim->StreamClients(), 1u);
}

// The slow-client rule: a reader that takes nothing keeps its place while nothing is sent or its
// socket buffers still have room; it is dropped only when a send to it stays blocked for 500 ms,
// and a reader that keeps reading gets everything.
TEST_F(TouchsimStream, AReaderIsDroppedOnlyWhenASendToItBlocks) {
    reader.reset();
    const int stalled = ConnectTo(sim->StreamPort());
    const int reading = ConnectTo(sim->StreamPort());
    ASSERT_GE(stalled, 0);
    ASSERT_GE(reading, 0);
    ASSERT_TRUE(sim->WaitForStreamClients(2, kArriveMs));
    for (int i = 0; i < 100 && sim->StreamClients() != 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));

    std::this_thread::sleep_for(std::chrono::milliseconds(700));  // idle longer than 500 ms
    EXPECT_EQ(sim->StreamClients(), 2u) << "not reading while nothing is sent drops nobody";

    std::atomic<size_t> received{0};
    std::atomic<bool> done{false};
    std::thread drain([&] {
        std::vector<char> buffer(1 << 16);
        while (!done) {
            pollfd p{reading, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            const ssize_t n = recv(reading, buffer.data(), buffer.size(), 0);
            if (n <= 0) break;
            received += static_cast<size_t>(n);
        }
    });
    // Waits until the reading client has everything sent so far (a hang guard only).
    auto drained = [&](size_t sent) {
        for (int i = 0; i < 2000 && received < sent; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return received == sent;
    };
    // Chunks until the stalled reader's buffers are full (a few MiB on loopback) and it is dropped.
    // In step with the reading client: its buffers never hold more than one chunk, so however late
    // its thread runs on a loaded machine, no send to it can block and only the stalled one is dropped.
    const std::string chunk(1 << 16, 'x');
    size_t sent = 0;
    while (sim->StreamClients() == 2 && sent < (64u << 20)) {
        sim->SendRawStream(chunk);
        sent += chunk.size();
        if (!drained(sent)) break;
    }
    EXPECT_EQ(sim->StreamClients(), 1u) << "the stalled reader is dropped";
    EXPECT_GT(sent, 64u << 10) << "but only once its buffers were full";
    drained(sent);
    done = true;
    drain.join();
    EXPECT_EQ(received, sent) << "the reading client got all of it";
    close(stalled);
    close(reading);
}
