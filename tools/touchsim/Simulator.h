// The simulated touch service: the RPC side on one port and the touch stream on another, driven
// by a device model plus fault switches. Used in-process by tests and by the `touchsim` program.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "touchsim/DeviceModel.h"

namespace touchsim {

struct Options {
    std::string host = "127.0.0.1";
    uint16_t rpcPort = 28875;     // 0 = ephemeral
    uint16_t streamPort = 3000;   // 0 = ephemeral
    bool stream = true;           // false: no touch stream server
};

struct TraceEntry {
    uint32_t code = 0;
    std::string name;             // request name, "Unknown" for codes the service does not know
    uint32_t selector = 0;        // first field of the request head
    uint32_t expectedLength = 0;
    std::vector<uint8_t> payload; // request payload behind the head
    std::string decoded;          // record fields of the payload (or of the answer for reads)
    std::string Line() const;     // "call GetDeviceConfig sel=36 expect=31 payload=0 ..."
};

class Simulator {
public:
    explicit Simulator(Options options = {});
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    bool Start();  // binds both ports; false (and nothing running) on failure
    void Stop();
    uint16_t RpcPort() const;
    uint16_t StreamPort() const;

    // The model, under the simulator's lock.
    DeviceModel Model() const;
    void SetModel(const DeviceModel& model);
    template <class F> void Edit(F f) { EditModel(std::function<void(DeviceModel&)>(f)); }
    void EditModel(const std::function<void(DeviceModel&)>& f);

    // Every call received, in order.
    std::vector<TraceEntry> Trace() const;
    void ClearTrace();
    bool WaitForCalls(size_t count, int timeoutMs);
    // Called (on the server thread) for each call as it is traced; the program prints with it.
    void SetTraceListener(std::function<void(const TraceEntry&)> listener);
    static const char* CodeName(uint32_t code);
    size_t IgnoredFrames() const;  // frames that were not a call named "FendrelRPC" with a head

    // Faults.
    void Unplug();                 // the service stops answering (calls are still traced)
    void Plug();
    void SetAnswering(bool answering);
    void SetBusyAfterReset(int ms);  // GetAccessState answers 0 for ms after each ResetDevice
    void SetBusy(bool busy);         // GetAccessState answers 0 until cleared
    void CloseClients();             // close every RPC connection
    void ResetClients();             // end every RPC connection with a reset (RST), not a close
    void SetReplyDelayMs(int ms);    // delay each reply (3500 = past the client's 3 s wait)
    // Stops / resumes accepting RPC connections (a connect is then refused); the connections
    // already open stay. Returns once the listener is closed or open again.
    void RefuseConnections(bool refuse);
    void SendOversizedNextReply();   // next reply carries two bytes more than expected
    void SendTwentyByteNextReply();  // next reply is a bare frame head: no payload
    // One-shot faults for the next call with the given request code, whatever other calls come
    // first (a program's background requests do not use them up). Several may wait at once; each
    // call takes the oldest that matches its code.
    void CutNextReply(uint32_t code, size_t bytes);  // reply cut to its first bytes (0: bare frame head)
    void DropNextReply(uint32_t code);               // no reply at all
    void DelayNextReply(uint32_t code, int ms);      // reply sent ms late
    void SendGarbageFrame();         // now, to every RPC client
    void SendCallFrame();            // now, a call frame from the service's side to every client
    size_t RpcClients() const;

    // Touch stream.
    bool HasStream() const;           // false when started without the touch stream
    void FingerDown(int id, float x, float y);
    bool FingerMove(int id, float x, float y);  // false (and nothing sent) when finger id is not down
    bool FingerUp(int id);                      // likewise
    void Tap(float x, float y);       // down, a few packets while held, up; returns after the lift
    // The same at a display position (0..1): the stream carries what the mounted frame and the
    // calibration in force make of it (DeviceModel::ReportedAtDisplay).
    void DisplayTap(float u, float v);
    void DisplayDown(int id, float u, float v);
    void SendRawStream(const std::string& bytes);
    void SendSplitPacket();           // one packet of the current touches, in two sends
    void SetSetArgumentCount(int n);  // values after "set": 6 (id x y X Y m) or 8 (+ width, height)
    void CloseStreamClients();        // close every touch stream connection
    void ResetStreamClients();        // end every touch stream connection with a reset (RST)
    size_t StreamClients() const;
    bool WaitForStreamClients(size_t count, int timeoutMs);
    uint64_t StreamPacketsSent() const;  // packets built by the stream (sent to every client)

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace touchsim
