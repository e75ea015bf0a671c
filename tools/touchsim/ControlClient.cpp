#include "touchsim/ControlClient.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "touchsim/ControlCommands.h"
#include "touchsim/SocketUtil.h"

namespace touchsim {

namespace {

std::vector<std::string> SplitLines(const std::vector<std::string>& commands) {
    std::vector<std::string> lines;
    for (const std::string& c : commands) {
        size_t start = 0;
        for (size_t nl; (nl = c.find('\n', start)) != std::string::npos; start = nl + 1)
            lines.push_back(c.substr(start, nl - start));
        lines.push_back(c.substr(start));
    }
    std::vector<std::string> kept;
    for (const std::string& l : lines)
        if (!IsNoCommand(l)) kept.push_back(l);
    return kept;
}

class Connection {
public:
    explicit Connection(int fd) : fd_(fd) {}
    ~Connection() { CloseFd(fd_); }
    int Fd() const { return fd_; }

    // The next line, without its newline. 1 = a line, 0 = the peer closed, -1 = time is up.
    int ReadLine(std::string& line, std::chrono::steady_clock::time_point deadline) {
        size_t nl;
        while ((nl = pending_.find('\n')) == std::string::npos) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return -1;
            pollfd p{fd_, POLLIN, 0};
            int ready = poll(&p, 1, static_cast<int>(left.count()));
            if (ready < 0 && errno == EINTR) continue;
            if (ready <= 0) return -1;
            char buffer[4096];
            ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return 0;
            pending_.append(buffer, static_cast<size_t>(n));
        }
        line = pending_.substr(0, nl);
        pending_.erase(0, nl + 1);
        return 1;
    }

private:
    int fd_;
    std::string pending_;
};

}  // namespace

int SendCommands(uint16_t port, const std::vector<std::string>& commands, std::FILE* out, std::FILE* err,
                 int replyTimeoutMs) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        std::fprintf(err, "touchsim: socket: %s\n", std::strerror(errno));
        return 1;
    }
    Connection connection(fd);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        std::fprintf(err, "touchsim: cannot reach the control port 127.0.0.1:%u: %s (is touchsim running with --control-port %u?)\n",
                     port, std::strerror(errno), port);
        return 1;
    }
    for (const std::string& command : SplitLines(commands)) {
        const std::string line = command + "\n";
        if (!SendAll(fd, line.data(), line.size(), replyTimeoutMs)) {
            std::fprintf(err, "touchsim: could not send '%s': %s\n", command.c_str(), std::strerror(errno));
            return 1;
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(replyTimeoutMs);
        for (;;) {
            std::string reply;
            int got = connection.ReadLine(reply, deadline);
            if (got < 0) {
                std::fprintf(err, "touchsim: no reply to '%s' within %d ms\n", command.c_str(), replyTimeoutMs);
                return 1;
            }
            if (got == 0) {
                std::fprintf(err, "touchsim: the service closed the control connection before answering '%s'\n",
                             command.c_str());
                return 1;
            }
            std::fprintf(out, "%s\n", reply.c_str());
            std::fflush(out);
            if (!IsStatusLine(reply)) continue;
            if (reply.compare(0, 6, "error:") == 0) return 1;
            break;
        }
    }
    return 0;
}

}  // namespace touchsim
