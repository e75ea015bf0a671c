#include "platform/DebugOutput.h"

#include <unistd.h>

#include <cerrno>

#include <mutex>

namespace VexoPlatform {

namespace {
std::mutex& SinkMutex() {
    static std::mutex m;
    return m;
}
DebugSink& Sink() {
    static DebugSink sink;
    return sink;
}

void WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += size_t(n);
    }
}
}  // namespace

void OutputDebugString(const std::string& line) {
    DebugSink sink;
    {
        std::lock_guard<std::mutex> lock(SinkMutex());
        sink = Sink();
    }
    if (sink) {
        sink(line);
        return;
    }
    WriteAll(2, line);
}

DebugSink SetDebugSink(DebugSink sink) {
    std::lock_guard<std::mutex> lock(SinkMutex());
    DebugSink previous = Sink();
    Sink() = std::move(sink);
    return previous;
}

void ConsoleOutput(const std::string& line) { WriteAll(1, line); }

}  // namespace VexoPlatform
