#include "touchstream/VexoTUIO.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/LogCapture.h"
#include "touchstream/TuioText.h"

using VexoSource::VexoGroup;
using VexoSource::VexoTUIO;
using VexoSource::VexoTUIOTouch_Ele;
using namespace tuiotext;
using Clock = std::chrono::steady_clock;

namespace {

constexpr auto kPrompt = std::chrono::seconds(3);  // for things that should happen at once

// A stream producer on an ephemeral loopback port, byte-exact: one client, sends on demand.
class StreamPeer {
public:
    StreamPeer() {
        m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(m_listen, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(m_listen, 1) != 0 ||
            ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            ADD_FAILURE() << "cannot listen";
        port = ntohs(a.sin_port);
    }
    ~StreamPeer() {
        CloseClient();
        ::close(m_listen);
    }
    bool Accept() {
        m_client = ::accept(m_listen, nullptr, nullptr);
        const int one = 1;
        ::setsockopt(m_client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        return m_client >= 0;
    }
    void Send(const std::string& bytes) {
        ASSERT_EQ(::send(m_client, bytes.data(), bytes.size(), MSG_NOSIGNAL), ssize_t(bytes.size()));
    }
    void CloseClient() {
        if (m_client >= 0) ::close(m_client);
        m_client = -1;
    }
    int port = 0;

private:
    int m_listen = -1;
    int m_client = -1;
};

// Records what the callback saw, on the reader thread.
struct Recorder {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<std::vector<int32_t>> sets;
    std::vector<float> firstX;
    const VexoGroup<VexoTUIOTouch_Ele>* object = nullptr;

    static void OnTouches(const VexoGroup<VexoTUIOTouch_Ele>& touches, void* user) {
        auto* self = static_cast<Recorder*>(user);
        std::vector<int32_t> ids;
        for (int32_t i = 0; i < touches.Count(); ++i) ids.push_back(touches.Get(i)->id);
        std::lock_guard<std::mutex> g(self->lock);
        self->object = &touches;
        self->firstX.push_back(touches.Count() ? touches.Get(0)->x : -1.0f);
        self->sets.push_back(ids);
        self->changed.notify_all();
    }
    bool WaitFor(size_t count) {
        std::unique_lock<std::mutex> g(lock);
        return changed.wait_for(g, kPrompt, [&] { return sets.size() >= count; });
    }
    size_t Count() {
        std::lock_guard<std::mutex> g(lock);
        return sets.size();
    }
};

double ProcessCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

}  // namespace

// Initialize -> callback -> Start -> packets in every shape the wire gives them -> Release.
TEST(VexoTUIO, DeliversEveryPacketToTheCallback) {
    StreamPeer peer;
    VexoTUIO reader;
    ASSERT_EQ(reader.InitializeAt("127.0.0.1", peer.port), 1);
    ASSERT_TRUE(peer.Accept());
    EXPECT_EQ(reader.connected, 1);
    Recorder seen;
    reader.SetTouchCallback(&Recorder::OnTouches, &seen);
    reader.Start();

    // Two and three packets in one receive, with junk before the first.
    peer.Send("junk" + Wire(Packet(Set(3, "0.25", "0.5") + Set(5, "0.3", "0.3"))) + Wire(Packet(Set(5, "0.4", "0.4"))));
    ASSERT_TRUE(seen.WaitFor(2));
    peer.Send(Wire(Packet(Set(1, "0.1", "0.1"))) + Wire(Packet(Message({"alive"}, "/tuio/2Dobj"))) +
              Wire(Packet(Set(2, "0.2", "0.2"))));
    ASSERT_TRUE(seen.WaitFor(4));
    // One packet split over two receives.
    const std::string split = Wire(Packet(Alive({7}) + Set(7, "0.75", "0.125")));
    peer.Send(split.substr(0, 57));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(seen.Count(), 4u);
    peer.Send(split.substr(57));
    ASSERT_TRUE(seen.WaitFor(5));
    // A lift.
    peer.Send(Wire(Packet(Alive({}) + Fseq(9))));
    ASSERT_TRUE(seen.WaitFor(6));

    reader.Release();
    EXPECT_EQ(seen.sets, (std::vector<std::vector<int32_t>>{{3, 5}, {5}, {1}, {2}, {7}, {}}));
    EXPECT_FLOAT_EQ(seen.firstX[0], 0.25f);
    EXPECT_FLOAT_EQ(seen.firstX[4], 0.75f);
    EXPECT_EQ(seen.object, &reader.Touches());  // always the same container
    EXPECT_EQ(reader.connected, 0);
    EXPECT_EQ(reader.Touches().Count(), 0);
}

// The service going away: the last touches stay, no more callbacks, no spinning, and a stop
// request is seen at once (well before the forced end after 2000 ms).
TEST(VexoTUIO, ClosedStreamKeepsTheLastTouchesAndStopsPromptly) {
    // The log settings are plain data: capture before the reader thread starts logging.
    LogCapture log;
    StreamPeer peer;
    VexoTUIO reader;
    ASSERT_EQ(reader.InitializeAt("127.0.0.1", peer.port), 1);
    ASSERT_TRUE(peer.Accept());
    Recorder seen;
    reader.SetTouchCallback(&Recorder::OnTouches, &seen);
    reader.Start();
    peer.Send(Wire(Packet(Set(4, "0.5", "0.5"))));
    ASSERT_TRUE(seen.WaitFor(1));

    peer.CloseClient();
    const double cpuBefore = ProcessCpuMs();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const double cpuUsed = ProcessCpuMs() - cpuBefore;
    EXPECT_LT(cpuUsed, 100.0) << "the reader spins on a closed stream";
    EXPECT_EQ(seen.Count(), 1u);
    EXPECT_TRUE(log.Contains("Touch stream closed by the service"));

    const auto start = Clock::now();
    reader.Stop();
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1000));
    EXPECT_EQ(reader.Touches().Count(), 1);
    EXPECT_EQ(reader.Touches().Get(0)->id, 4);
}

TEST(VexoTUIO, IdleReaderWaitsWithoutSpinningAndStopsPromptly) {
    StreamPeer peer;
    VexoTUIO reader;
    ASSERT_EQ(reader.InitializeAt("127.0.0.1", peer.port), 1);
    ASSERT_TRUE(peer.Accept());
    reader.Start();
    const double cpuBefore = ProcessCpuMs();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LT(ProcessCpuMs() - cpuBefore, 100.0);
    const auto start = Clock::now();
    reader.Release();
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1000));
}

// A service that sends small complete packets faster than they are handled: the reader takes no
// more bytes while a complete packet waits, so the flood waits in the socket (which holds the
// sender back), not in the reader's accumulator, and nothing is lost.
TEST(VexoTUIO, AFloodOfSmallPacketsWaitsInTheSocketNotInTheReader) {
    StreamPeer peer;
    VexoTUIO reader;
    ASSERT_EQ(reader.InitializeAt("127.0.0.1", peer.port), 1);
    ASSERT_TRUE(peer.Accept());
    Recorder seen;
    reader.SetTouchCallback(&Recorder::OnTouches, &seen);
    reader.Start();

    const std::string tiny = Wire("<OSCPACKET></OSCPACKET>");  // about nothing: handled, no callback
    std::string flood;
    for (int i = 0; i < 40000; ++i) flood += tiny;  // about a megabyte
    for (int id = 1; id <= 3; ++id) flood += Wire(Packet(Set(id, "0.5", "0.5"))) + tiny + tiny;
    std::thread sender([&] { peer.Send(flood); });
    {
        std::unique_lock<std::mutex> g(seen.lock);
        EXPECT_TRUE(seen.changed.wait_for(g, std::chrono::seconds(60), [&] { return seen.sets.size() >= 3; }));
    }
    sender.join();
    reader.Release();
    EXPECT_EQ(seen.sets, (std::vector<std::vector<int32_t>>{{1}, {2}, {3}}));
    // One receive plus the start of a packet still to come; the flood itself is a megabyte.
    EXPECT_LE(reader.PeakBacklog(), size_t(VexoSource::VexoTCPManager::kTextCapacity) + VexoSource::TuioFramer::kMaxPacket)
        << "bytes were read while complete packets were waiting";
}

TEST(VexoTUIO, InitializeFailsWithoutAServiceAndOnlyOnceWithOne) {
    LogCapture log;
    {
        // A port nobody listens on: take an ephemeral one and give it back.
        int port;
        {
            StreamPeer gone;
            port = gone.port;
        }
        VexoTUIO reader;
        EXPECT_EQ(reader.InitializeAt("127.0.0.1", port), 0);
        EXPECT_EQ(reader.connected, 0);
        EXPECT_TRUE(log.Contains("Connect(127.0.0.1, " + std::to_string(port) + ") failed"));
    }
    StreamPeer peer;
    VexoTUIO reader;
    ASSERT_EQ(reader.InitializeAt("127.0.0.1", peer.port), 1);
    ASSERT_TRUE(peer.Accept());
    EXPECT_EQ(reader.InitializeAt("127.0.0.1", peer.port), 1);  // the connected flag stays
    EXPECT_TRUE(log.Contains("Create() failed"));
    // Destroyed without Start or Release: nothing to stop, nothing leaks.
}
