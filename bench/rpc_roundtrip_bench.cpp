// Round trips of SendRequest against the simulated touch service, next to raw TCP request/reply
// round trips of the same frame to the same service on loopback, measured in the same run.
// Prints the median and p99 of both and what SendRequest costs beyond the raw round trip and
// its mandated 8 ms pause after each reply.
//
// Usage: rpc_roundtrip_bench [rounds]   (default 400). Starts its own simulated service.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
#include <arpa/inet.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/VexoLog.h"
#include "servicelink/VexoRPC.h"
#include "touchsim/Simulator.h"

using namespace VexoSource;
using Clock = std::chrono::steady_clock;

namespace {

double Micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5));
    return v[i];
}

// The frame SendRequest puts on the wire for GetAccessState with selector 0.
std::vector<uint8_t> AccessStateFrame() {
    std::vector<uint8_t> f(36, 0);
    std::memcpy(f.data(), kServiceChannelName, std::strlen(kServiceChannelName));
    const uint32_t kind = kFrameCall, code = GetAccessState, expected = 1;
    std::memcpy(f.data() + 16, &kind, 4);
    std::memcpy(f.data() + 24, &code, 4);
    std::memcpy(f.data() + 28, &expected, 4);
    return f;
}

int RawConnect(uint16_t port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(s);
        return -1;
    }
    const int one = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return s;
}

// One blocking request/reply; false when the service did not answer with a reply frame.
bool RawRoundTrip(int s, const std::vector<uint8_t>& frame) {
    if (::send(s, frame.data(), frame.size(), MSG_NOSIGNAL) != ssize_t(frame.size())) return false;
    uint8_t reply[2048];
    return ::recv(s, reply, sizeof reply, 0) >= 20;
}

constexpr long kMaxRounds = 10000000;

void Usage(std::FILE* to) {
    std::fprintf(to,
                 "usage: rpc_roundtrip_bench [ROUNDS]\n"
                 "Times ROUNDS (default 400, 1..%ld) GetAccessState requests through SendRequest against a\n"
                 "simulated touch service that it starts itself on a free loopback port (no service needs\n"
                 "to run), next to raw TCP round trips of the same frame. Prints the median and p99 of both.\n",
                 kMaxRounds);
}

// ROUNDS as given, or -1 when it is not a whole number in 1..kMaxRounds.
long ParseRounds(const char* text) {
    const std::string s = text;
    if (s.empty() || s.find_first_not_of("0123456789") != std::string::npos) return -1;
    errno = 0;
    const long v = std::strtol(text, nullptr, 10);
    return errno || v < 1 || v > kMaxRounds ? -1 : v;
}

void Print(const char* what, const std::vector<double>& v) {
    std::printf("%-34s median %9.1f us   p99 %9.1f us\n", what, Percentile(v, 0.5), Percentile(v, 0.99));
}

}  // namespace

int main(int argc, char** argv) {
    long rounds = 400;
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        Usage(stdout);
        return 0;
    }
    std::string error;
    if (argc > 2)
        error = "one argument at most";
    else if (argc == 2 && (rounds = ParseRounds(argv[1])) < 0)
        error = "ROUNDS must be a whole number 1.." + std::to_string(kMaxRounds) + ", not '" + argv[1] + "'";
    if (!error.empty()) {
        std::fprintf(stderr, "rpc_roundtrip_bench: %s\n", error.c_str());
        Usage(stderr);
        return 2;
    }
    g_VexoLog.enabled = 0;

    touchsim::Options options;
    options.rpcPort = 0;
    options.stream = false;
    touchsim::Simulator sim(options);
    if (!sim.Start()) {
        std::fprintf(stderr, "cannot start the simulated service\n");
        return 1;
    }
    if (!OpenServiceChannelAt("127.0.0.1", sim.RpcPort())) {
        std::fprintf(stderr, "cannot open the service channel\n");
        return 1;
    }
    const int raw = RawConnect(sim.RpcPort());
    if (raw < 0) {
        std::fprintf(stderr, "cannot connect the raw client\n");
        return 1;
    }
    const std::vector<uint8_t> frame = AccessStateFrame();
    std::printf("simulated touch service started by this program on 127.0.0.1:%u\n", unsigned(sim.RpcPort()));

    std::vector<double> viaLink, viaRaw;
    int failures = 0;
    for (int i = -20; i < rounds; ++i) {  // the first 20 rounds warm up
        uint8_t state = 0;
        int32_t ok = 0;
        auto t0 = Clock::now();
        const int32_t n = SendRequest(ChosenDevice(), GetAccessState, &state, &ok, nullptr, 0, 1);
        auto t1 = Clock::now();
        const bool rawOk = RawRoundTrip(raw, frame);
        auto t2 = Clock::now();
        if (n != 1 || !ok || !rawOk) {
            ++failures;
            continue;
        }
        if (i < 0) continue;
        viaLink.push_back(Micros(t1 - t0));
        viaRaw.push_back(Micros(t2 - t1));
    }
    ::close(raw);
    CloseServiceChannel();
    sim.Stop();
    if (viaLink.empty()) {
        std::fprintf(stderr, "no successful round trip\n");
        return 1;
    }

    const double pauseUs = 1000.0 * VexoRPC::kPauseAfterReplyMs;
    std::vector<double> overhead(viaLink.size());
    for (size_t i = 0; i < viaLink.size(); ++i) overhead[i] = viaLink[i] - viaRaw[i] - pauseUs;

    std::printf("rounds: %zu (failed: %d), request GetAccessState against the simulated service\n", viaLink.size(),
                failures);
    // Sleeps and thread wake-ups stretch under load; the tail figures only mean something with it.
    if (FILE* f = std::fopen("/proc/loadavg", "r")) {
        char load[64] = {};
        if (std::fgets(load, sizeof load, f)) std::printf("load average: %s", load);
        std::fclose(f);
    }
    Print("raw TCP request/reply", viaRaw);
    Print("SendRequest", viaLink);
    Print("SendRequest - raw - 8 ms pause", overhead);
    const double medianOverhead = Percentile(overhead, 0.5);
    std::printf("overhead beyond the 8 ms pause: median %.3f ms (target <= 0.5 ms): %s\n", medianOverhead / 1000.0,
                medianOverhead <= 500.0 ? "met" : "NOT met");
    return 0;
}
