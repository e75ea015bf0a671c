// Touch stream reader figures: packets per second through the reader (loopback TCP, real
// recorded packets), the same through the framer and decoder alone, and the delay from a packet's
// send on loopback to the reader's callback. Prints figures; asserts nothing.
//
// Usage: tuio_reader_bench [STREAM-FILE]. Plays the packets from a loopback peer of its own.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "foundation/VexoLog.h"
#include "touchstream/TuioStream.h"
#include "touchstream/VexoTUIO.h"

using namespace VexoSource;
using Clock = std::chrono::steady_clock;

namespace {

// The recorded stream in the source tree (its absolute path is compiled in), or, for a build
// folder moved with its sources, two folders up from this program's own (build/bin).
std::string DefaultStreamPath() {
    const std::string name = "tuio-stream-real.bin";
    const std::string compiled = std::string(QLN_TEST_DATA) + "/" + name;
    if (access(compiled.c_str(), R_OK) == 0) return compiled;
    char self[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return compiled;
    const std::string folder = std::string(self, size_t(n)).substr(0, std::string(self, size_t(n)).rfind('/'));
    const std::string beside = folder + "/../../tests/data/" + name;
    return access(beside.c_str(), R_OK) == 0 ? beside : compiled;
}

void Usage(std::FILE* to) {
    std::fprintf(to,
                 "usage: tuio_reader_bench [STREAM-FILE]\n"
                 "Plays recorded touch stream packets (default: %s) to the\n"
                 "touch stream reader from a loopback peer that it starts itself (no touch service needs\n"
                 "to run) and prints packets/s through framer+decoder and through the reader, and the\n"
                 "send-to-callback delay.\n",
                 DefaultStreamPath().c_str());
}

std::vector<std::string> LoadPackets(const char* path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> packets;
    size_t start = 0;
    for (size_t nul; (nul = bytes.find('\0', start)) != std::string::npos; start = nul + 1)
        packets.push_back(bytes.substr(start, nul - start + 1));  // with its NUL, as on the wire
    return packets;
}

bool IsCursorPacket(const std::string& p) {
    return p.find("<MESSAGE NAME=\"/tuio/2Dcur\"") == p.find("<MESSAGE ") && p.find("<MESSAGE ") != std::string::npos;
}

struct Peer {
    int listenFd = -1;
    int client = -1;
    int port = 0;
    Peer() {
        listenFd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(listenFd, reinterpret_cast<sockaddr*>(&a), len);
        ::listen(listenFd, 1);
        ::getsockname(listenFd, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
    }
    void Accept() {
        client = ::accept(listenFd, nullptr, nullptr);
        const int one = 1;
        ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    void SendAll(const std::string& bytes) {
        for (size_t sent = 0; sent < bytes.size();) {
            const ssize_t n = ::send(client, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return;
            sent += size_t(n);
        }
    }
    ~Peer() {
        if (client >= 0) ::close(client);
        ::close(listenFd);
    }
};

struct Counter {
    std::atomic<uint64_t> calls{0};
    std::atomic<int64_t> lastCallNs{0};
    static void OnTouches(const VexoGroup<VexoTUIOTouch_Ele>&, void* user) {
        auto* self = static_cast<Counter*>(user);
        self->lastCallNs = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
        self->calls.fetch_add(1);
    }
};

// CPU time: the machine may be shared, so the rates are also given per CPU-second.
double CpuSeconds(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

double Percentile(std::vector<double> v, double q) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(q * double(v.size())))];
}

void PipelineRate(const std::vector<std::string>& packets, int rounds) {
    std::string stream;
    for (const std::string& p : packets) stream += p;
    VexoGroup<VexoTUIOTouch_Ele> touches;
    TuioStream pipeline(touches);
    uint64_t handled = 0;
    const double cpuStart = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    const auto start = Clock::now();
    for (int r = 0; r < rounds; ++r)
        for (size_t at = 0; at < stream.size(); at += 512) {
            pipeline.Append(stream.data() + at, std::min<size_t>(512, stream.size() - at));
            for (TuioStepResult s; (s = pipeline.Step()) != TuioStepResult::Idle;) handled += 1;
        }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - cpuStart;
    std::printf("framer+decoder alone : %8.0f packets/s wall, %8.0f packets per CPU-second (%llu packets, %.3f s)\n",
                double(handled) / seconds, double(handled) / cpu, (unsigned long long)handled, seconds);
}

void ReaderRate(const std::vector<std::string>& packets, int rounds) {
    std::string stream;
    uint64_t cursorPackets = 0;
    for (const std::string& p : packets) {
        stream += p;
        cursorPackets += IsCursorPacket(p) ? 1 : 0;
    }
    Peer peer;
    VexoTUIO reader;
    if (!reader.InitializeAt("127.0.0.1", peer.port)) return;
    peer.Accept();
    Counter counter;
    reader.SetTouchCallback(&Counter::OnTouches, &counter);
    reader.Start();
    const uint64_t expected = cursorPackets * uint64_t(rounds);
    const double cpuStart = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    const auto start = Clock::now();
    std::thread sender([&] {
        for (int r = 0; r < rounds; ++r) peer.SendAll(stream);
    });
    while (counter.calls.load() < expected && Clock::now() - start < std::chrono::seconds(60))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    sender.join();
    const double cpu = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpuStart;  // reader and sender together
    const double seconds =
        std::chrono::duration<double>(Clock::time_point(std::chrono::nanoseconds(counter.lastCallNs.load())) - start).count();
    const uint64_t all = uint64_t(packets.size()) * uint64_t(rounds);
    std::printf("reader over loopback : %8.0f packets/s wall, %8.0f packets per CPU-second of reader+sender "
                "(%llu packets, %llu callbacks of %llu, %.3f s, %.1f MB/s)\n",
                double(all) / seconds, double(all) / cpu, (unsigned long long)all, (unsigned long long)counter.calls.load(),
                (unsigned long long)expected, seconds, double(stream.size()) * rounds / seconds / 1e6);
    reader.Release();
}

void ReaderDelay(const std::vector<std::string>& packets, int samples) {
    Peer peer;
    VexoTUIO reader;
    if (!reader.InitializeAt("127.0.0.1", peer.port)) return;
    peer.Accept();
    Counter counter;
    reader.SetTouchCallback(&Counter::OnTouches, &counter);
    reader.Start();
    std::vector<const std::string*> cursor;
    for (const std::string& p : packets)
        if (IsCursorPacket(p)) cursor.push_back(&p);
    std::vector<double> delaysUs;
    for (int i = 0; i < samples; ++i) {
        const uint64_t before = counter.calls.load();
        const auto sent = Clock::now();
        peer.SendAll(*cursor[size_t(i) % cursor.size()]);
        while (counter.calls.load() == before && Clock::now() - sent < std::chrono::seconds(1)) {
            // The sender waits for the callback; its own brief yield is not part of the figure.
            std::this_thread::yield();
        }
        const double us =
            std::chrono::duration<double, std::micro>(Clock::time_point(std::chrono::nanoseconds(counter.lastCallNs.load())) - sent).count();
        delaysUs.push_back(us);
        // Spaced like a real producer's frames so that each packet finds an idle reader.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    std::printf("send-to-callback delay: median %.1f us, p99 %.1f us, max %.1f us (%d packets, one at a time)\n",
                Percentile(delaysUs, 0.5), Percentile(delaysUs, 0.99), Percentile(delaysUs, 1.0), samples);
    reader.Release();
}

// One finger held on a calibration target, in the recorded producer's form.
std::vector<std::string> OneFingerPackets(int count) {
    std::vector<std::string> packets;
    for (int i = 0; i < count; ++i) {
        const std::string x = std::to_string(0.25 + (i % 100) * 1e-4), n = std::to_string(i);
        packets.push_back(
            "<OSCPACKET ADDRESS=\"127.0.0.1\" PORT=\"49173\" TIME=\"1\">"
            "<MESSAGE NAME=\"/tuio/2Dcur\"><ARGUMENT TYPE=\"s\" VALUE=\"source\" /><ARGUMENT TYPE=\"s\" VALUE=\"tuio_driver@127.0.0.1\" /></MESSAGE>"
            "<MESSAGE NAME=\"/tuio/2Dcur\"><ARGUMENT TYPE=\"s\" VALUE=\"alive\" /><ARGUMENT TYPE=\"i\" VALUE=\"1\" /></MESSAGE>"
            "<MESSAGE NAME=\"/tuio/2Dcur\"><ARGUMENT TYPE=\"s\" VALUE=\"set\" /><ARGUMENT TYPE=\"i\" VALUE=\"1\" />"
            "<ARGUMENT TYPE=\"f\" VALUE=\"" + x + "\" /><ARGUMENT TYPE=\"f\" VALUE=\"0.75\" /><ARGUMENT TYPE=\"f\" VALUE=\"-8.195638E-5\" />"
            "<ARGUMENT TYPE=\"f\" VALUE=\"0.0\" /><ARGUMENT TYPE=\"f\" VALUE=\"0.0\" /></MESSAGE>"
            "<MESSAGE NAME=\"/tuio/2Dcur\"><ARGUMENT TYPE=\"s\" VALUE=\"fseq\" /><ARGUMENT TYPE=\"i\" VALUE=\"" + n + "\" /></MESSAGE>"
            "</OSCPACKET>" + std::string(1, '\0'));
    }
    return packets;
}

void Report(const char* name, const std::vector<std::string>& packets, int rounds) {
    size_t bytes = 0;
    for (const std::string& p : packets) bytes += p.size();
    std::printf("%s: %zu packets, %.0f bytes per packet on average\n", name, packets.size(),
                double(bytes) / double(packets.size()));
    PipelineRate(packets, rounds);
    ReaderRate(packets, rounds);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        Usage(stdout);
        return 0;
    }
    std::string error;
    if (argc > 2)
        error = "one argument at most";
    else if (argc == 2 && argv[1][0] == '-')
        error = "unknown option '" + std::string(argv[1]) + "'";
    if (!error.empty()) {
        std::fprintf(stderr, "tuio_reader_bench: %s\n", error.c_str());
        Usage(stderr);
        return 2;
    }
    g_VexoLog.enabled = 0;
    const std::string path = argc > 1 ? std::string(argv[1]) : DefaultStreamPath();
    if (access(path.c_str(), R_OK) != 0) {
        std::fprintf(stderr, "tuio_reader_bench: cannot read '%s': %s\n", path.c_str(), std::strerror(errno));
        return argc > 1 ? 2 : 1;
    }
    const std::vector<std::string> packets = LoadPackets(path.c_str());
    if (packets.empty()) {
        std::fprintf(stderr, "tuio_reader_bench: no NUL-terminated packets in '%s'\n", path.c_str());
        return argc > 1 ? 2 : 1;
    }
    std::printf("stream file: %s; its packets are played from a loopback peer started by this program\n",
                path.c_str());
    Report("recorded stream (three fingers, other profiles)", packets, 100);
    Report("one finger on a target", OneFingerPackets(272), 100);
    ReaderDelay(packets, 2000);
    std::printf("targets: >= 20000 packets/s through the reader, <= 1000 us median delay\n");
    return 0;
}
