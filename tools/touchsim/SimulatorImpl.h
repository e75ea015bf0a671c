// Inner state of the simulator, shared by its RPC server, its stream server and its API.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "touchsim/Simulator.h"
#include "touchsim/SocketUtil.h"
#include "touchsim/TuioPacket.h"

namespace touchsim {

using Clock = std::chrono::steady_clock;

struct Simulator::Impl {
    explicit Impl(Options o) : options(std::move(o)) {}

    Options options;
    std::atomic<bool> stopping{false};
    std::atomic<bool> running{false};  // written by Start/Stop on the owner's thread

    // Model, trace and fault switches. Held only briefly; never while sending or sleeping.
    mutable std::mutex mu;
    std::condition_variable traceChanged;
    DeviceModel model;
    std::vector<TraceEntry> trace;
    std::function<void(const TraceEntry&)> traceListener;
    size_t ignoredFrames = 0;
    bool unplugged = false;
    bool answering = true;
    bool busy = false;
    int busyAfterResetMs = 0;
    Clock::time_point busyUntil{};
    int replyDelayMs = 0;
    bool oversizeNext = false;
    bool twentyNext = false;
    struct CodeFault {
        enum Kind { Cut, Drop, Delay } kind;
        uint32_t code;
        size_t bytes;  // Cut
        int ms;        // Delay
    };
    std::vector<CodeFault> codeFaults;  // one-shot, oldest first

    // RPC server. The client list is guarded by rpcSendMu, which every send to a client holds, so
    // that each frame leaves in one piece. Only the RPC thread closes client sockets.
    uint16_t rpcPort = 0;
    int rpcListener = -1;
    WakePipe rpcWake;
    mutable std::mutex rpcSendMu;
    std::vector<int> rpcClients;
    struct PendingReply {
        int fd;
        std::vector<uint8_t> frame;
        Clock::time_point due;
    };
    std::vector<PendingReply> pending;  // RPC thread only
    // Set by ResetClients; the RPC thread resets its clients, since only it closes their sockets.
    std::atomic<bool> rpcResetWanted{false};
    // Set by RefuseConnections (1 refuse, 2 accept again); the RPC thread closes or reopens its
    // listener, since it polls it, and then sets `refusing` (under mu).
    std::atomic<int> listenRequest{0};
    std::condition_variable listenChanged;
    bool refusing = false;
    std::thread rpcThread;
    void RpcLoop();
    void HandleFrame(int fd, const uint8_t* bytes, size_t length);
    void SendFrameTo(int fd, const std::vector<uint8_t>& frame);
    void CloseRpcClient(int fd);
    void SendToAllRpcClients(const std::vector<uint8_t>& frame);

    // Touch stream. Finger state under streamMu; client list under streamSendMu, held for every
    // send so that the split packet's two halves are not interleaved with another packet.
    uint16_t streamPort = 0;
    int streamListener = -1;
    WakePipe streamWake;
    std::mutex streamMu;
    std::condition_variable streamProgress;
    std::map<int, StreamTouch> fingers;
    int emptyPacketsLeft = 0;
    int32_t frameSequence = 0;
    int setValues = 6;
    uint64_t packetsSent = 0;
    mutable std::mutex streamSendMu;
    std::condition_variable streamClientsChanged;
    std::vector<int> streamClients;
    std::atomic<bool> streamResetWanted{false};  // as rpcResetWanted, for the stream thread
    std::thread streamThread;
    void StreamLoop();
    std::string NextPacket();  // builds the packet of the current touches; takes streamMu
    void SendToStreamClients(const std::string& bytes);  // takes streamSendMu
    void SendToStreamClientsLocked(const std::string& bytes);
};

}  // namespace touchsim
