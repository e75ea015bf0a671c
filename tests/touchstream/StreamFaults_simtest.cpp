// Fault scenarios of the touch stream reader against the simulated service's stream on the fixed
// port 3000 (each test runs in its own network namespace): the stream ending in the middle of a
// packet, garbage bytes, one endless packet. The reader must keep a defined touch set, keep its
// accumulator bounded, go on with the next valid packet, and stop within its bound.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "servicelink/FaultsSupport.h"
#include "servicelink/LinkTestSupport.h"
#include "touchsim/Simulator.h"
#include "touchsim/TuioPacket.h"
#include "touchstream/TuioFramer.h"
#include "touchstream/VexoTUIO.h"

using namespace VexoSource;
using faults::Clock;
using faults::MsSince;

namespace {

// A reader stopped this long after its stop request was not waiting in short steps.
constexpr long long kReaderStopMs = 500;
constexpr long long kArriveMs = 3000;

// What the callback saw: the ids of every touch set, in order.
class Seen {
public:
    static void OnTouches(const VexoGroup<VexoTUIOTouch_Ele>& touches, void* user) {
        auto* self = static_cast<Seen*>(user);
        std::vector<int32_t> ids;
        for (int32_t i = 0; i < touches.Count(); ++i) ids.push_back(touches.Get(i)->id);
        std::lock_guard<std::mutex> g(self->m_lock);
        self->m_sets.push_back(ids);
    }
    size_t Count() const {
        std::lock_guard<std::mutex> g(m_lock);
        return m_sets.size();
    }
    std::vector<int32_t> Last() const {
        std::lock_guard<std::mutex> g(m_lock);
        return m_sets.empty() ? std::vector<int32_t>{-1} : m_sets.back();
    }
    bool WaitFor(size_t count) const {
        return faults::WaitFor([&] { return Count() >= count; }, kArriveMs);
    }

private:
    mutable std::mutex m_lock;
    std::vector<std::vector<int32_t>> m_sets;
};

// One packet about touch `id` at (x, y), with the NUL that producers put after each packet.
std::string Wire(int id, float x, float y) {
    return touchsim::BuildTuioPacket({{id, x, y}}, id, 6) + std::string(1, '\0');
}

class StreamFaults : public ::testing::Test {
protected:
    void SetUp() override {
        sim = std::make_unique<touchsim::Simulator>();
        ASSERT_TRUE(sim->Start()) << "ports 28875/3000 taken: run inside tests/run_isolated.sh";
        StartReader();
    }
    void TearDown() override {
        reader.reset();
        sim->Stop();
    }
    // A reader connected as the calibration dialog connects it, on the program's own address.
    void StartReader() {
        reader.reset();  // the previous one, if any, is stopped and its connection closed
        reader = std::make_unique<VexoTUIO>();
        ASSERT_EQ(reader->Initialize(), 1);
        ASSERT_TRUE(faults::WaitFor([&] { return sim->StreamClients() == 1; }, 2000));
        reader->SetTouchCallback(&Seen::OnTouches, &seen);
        reader->Start();
    }
    // Release as the calibration dialog does it; returns how long it took.
    long long Release() {
        const Clock::time_point start = Clock::now();
        reader->Release();
        return MsSince(start);
    }
    std::unique_ptr<touchsim::Simulator> sim;
    std::unique_ptr<VexoTUIO> reader;
    Seen seen;
};

TEST_F(StreamFaults, StreamEndingInTheMiddleOfAPacketKeepsTheLastTouches) {
    struct Row {
        const char* what;
        bool reset;
    } rows[] = {{"closed", false}, {"reset", true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        if (reader->connected == 0) StartReader();  // a fresh reader for the second way
        LogCapture log;
        const size_t before = seen.Count();
        sim->SendRawStream(Wire(4, 0.5f, 0.5f));
        ASSERT_TRUE(seen.WaitFor(before + 1));
        const std::string cut = Wire(6, 0.25f, 0.25f);
        sim->SendRawStream(cut.substr(0, cut.size() / 2));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        row.reset ? sim->ResetStreamClients() : sim->CloseStreamClients();

        ASSERT_TRUE(faults::WaitFor([&] { return log.Contains("Information - Touch stream closed by the service"); },
                                    kArriveMs));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_EQ(seen.Count(), before + 1) << "half a packet is no packet";
        EXPECT_EQ(log.Count("Touch stream closed by the service"), 1) << "said once, not on every pass";
        EXPECT_LT(Release(), kReaderStopMs);
        EXPECT_EQ(seen.Last(), std::vector<int32_t>{4});
        EXPECT_EQ(reader->connected, 0);
    }
}

TEST_F(StreamFaults, GarbageIsSkippedAndTheNextPacketIsHandled) {
    struct Row {
        const char* what;
        std::string bytes;
        bool logged;  // a packet the parser rejects is logged
    } rows[] = {
        {"binary noise with NULs", std::string("\x01\x02\xff\xfe\0\0garbage\x7f", 14), false},
        {"a closing tag without an opening one", "tail of a lost packet</OSCPACKET>", false},
        {"a packet that is not XML", "<OSCPACKET <<< & ></OSCPACKET>" + std::string(1, '\0'), true},
        {"an opening tag inside an unfinished packet", "<OSCPACKET ADDRESS=\"1\"><MESSAGE NAME=\"/tuio/2Dcur\">", false},
    };
    int32_t id = 10;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        LogCapture log;
        const size_t before = seen.Count();
        sim->SendRawStream(row.bytes);
        sim->SendRawStream(Wire(++id, 0.75f, 0.25f));
        ASSERT_TRUE(seen.WaitFor(before + 1));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(seen.Count(), before + 1);
        EXPECT_EQ(seen.Last(), std::vector<int32_t>{id});
        EXPECT_EQ(log.Contains("Exception - "), row.logged);
    }
    EXPECT_LT(Release(), kReaderStopMs);
}

TEST_F(StreamFaults, EndlessPacketStaysBoundedAndTheStreamRecovers) {
    LogCapture log;
    sim->SendRawStream(Wire(1, 0.5f, 0.5f));
    ASSERT_TRUE(seen.WaitFor(1));

    // An opening tag and then no closing tag, ever: four times the accumulator's bound.
    const std::string endless = "<OSCPACKET ADDRESS=\"127.0.0.1\" PORT=\"3333\" TIME=\"0\">" +
                                std::string(4 * TuioFramer::kMaxAccumulator, 'x');
    for (size_t at = 0; at < endless.size(); at += 16384) sim->SendRawStream(endless.substr(at, 16384));
    ASSERT_TRUE(faults::WaitFor([&] { return log.Count("bytes without a closing tag discarded") >= 3; }, kArriveMs));
    for (const std::string& line : log.Lines()) {
        if (line.find("without a closing tag") == std::string::npos) continue;
        EXPECT_NE(line.find("Exception - Touch stream: "), std::string::npos) << line;
        // Each discard frees the bound's worth of text, so the accumulator never holds more.
        const unsigned long discarded = std::stoul(line.substr(line.find("stream: ") + 8));
        EXPECT_GT(discarded, TuioFramer::kMaxAccumulator - TuioFramer::kMaxPacket) << line;
        EXPECT_LE(discarded, TuioFramer::kMaxAccumulator + VexoTCPManager::kTextCapacity) << line;
    }
    EXPECT_EQ(seen.Count(), 1u);

    // The packet after the endless one is handled as usual.
    sim->SendRawStream(Wire(2, 0.25f, 0.75f));
    ASSERT_TRUE(seen.WaitFor(2));
    EXPECT_EQ(seen.Last(), std::vector<int32_t>{2});
    EXPECT_LT(Release(), kReaderStopMs);
}

}  // namespace
