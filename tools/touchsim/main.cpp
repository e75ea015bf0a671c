// touchsim: the simulated touch service as a program. Serves the RPC channel and the touch
// stream, prints one line per call received, and takes commands on standard input and,
// optionally, on a local TCP control port. With --send it is instead a client of that port.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/signalfd.h>
#include <unistd.h>
#include <vector>

#include "touchsim/CommandLine.h"
#include "touchsim/ControlClient.h"
#include "touchsim/ControlCommands.h"
#include "touchsim/Simulator.h"
#include "touchsim/SocketUtil.h"

namespace {

// A control line longer than this is dropped: commands are short, and the buffer stays bounded.
constexpr size_t kMaxLineLength = 8192;
// Control connections at once; more are refused so a runaway script cannot exhaust descriptors.
constexpr size_t kMaxControlClients = 16;

std::mutex g_outputMutex;

void Print(const std::string& text) {
    std::lock_guard<std::mutex> lock(g_outputMutex);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

struct LineSource {
    int fd;
    std::string pending;
    bool overflow = false;
    bool isStdin = false;
};

// Splits what arrived into lines and runs them; false when a command asked to quit.
bool Feed(touchsim::Simulator& sim, LineSource& source, const char* data, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        char c = data[i];
        if (c != '\n') {
            if (source.pending.size() < kMaxLineLength)
                source.pending += c;
            else
                source.overflow = true;
            continue;
        }
        std::string reply;
        bool quit = false;
        if (source.overflow) {
            reply = "error: line too long, ignored\n";
        } else {
            touchsim::CommandResult r = touchsim::ExecuteCommand(sim, source.pending);
            reply = r.text;
            quit = r.quit;
        }
        source.pending.clear();
        source.overflow = false;
        if (source.isStdin)
            Print(reply);
        else
            touchsim::SendAll(source.fd, reply.data(), reply.size(), 500);
        if (quit) return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    touchsim::ProgramOptions program;
    std::string error;
    if (!touchsim::ParseCommandLine(argc, argv, program, error)) {
        std::fprintf(stderr, "touchsim: %s; see touchsim --help\n", error.c_str());
        return 2;
    }
    if (program.help) {
        std::fputs(touchsim::ProgramHelp().c_str(), stdout);
        return 0;
    }
    signal(SIGPIPE, SIG_IGN);
    if (!program.send.empty()) return touchsim::SendCommands(program.controlPort, program.send, stdout, stderr);

    const touchsim::Options& options = program.sim;
    uint16_t controlPort = program.controlPort;
    const bool withControlPort = program.withControlPort;

    // Signals arrive through a descriptor in the main loop, so every thread (started below,
    // inheriting the mask) leaves them alone and shutdown runs in one place.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    int signalFd = signalfd(-1, &signals, SFD_CLOEXEC);
    if (signalFd < 0) {
        std::perror("touchsim: signalfd");
        return 1;
    }

    touchsim::Simulator sim(options);
    if (program.withRequiredVersion)
        sim.Edit([&](touchsim::DeviceModel& m) { m.requiredConfigVersion = program.requiredVersion; });
    // --device ID:FIELD=VALUE,... is the control commands "device ID" and "device ID FIELD VALUE".
    // The devices given are the frames attached: the first replaces the built-in one.
    if (!program.devices.empty()) sim.Edit([](touchsim::DeviceModel& m) { m.deviceIds.clear(); });
    for (const std::string& device : program.devices) {
        const size_t colon = device.find(':');
        const std::string id = device.substr(0, colon);
        std::vector<std::string> commands{"device " + id};
        if (colon != std::string::npos) {
            std::string fields = device.substr(colon + 1);
            for (size_t at = 0; at <= fields.size();) {
                size_t comma = fields.find(',', at);
                if (comma == std::string::npos) comma = fields.size();
                const std::string field = fields.substr(at, comma - at);
                const size_t eq = field.find('=');
                if (eq == std::string::npos) {
                    std::fprintf(stderr, "touchsim: --device %s: '%s' is not FIELD=VALUE\n", device.c_str(),
                                 field.c_str());
                    return 2;
                }
                commands.push_back("device " + id + " " + field.substr(0, eq) + " " + field.substr(eq + 1));
                at = comma + 1;
            }
        }
        for (const std::string& command : commands) {
            const touchsim::CommandResult r = touchsim::ExecuteCommand(sim, command);
            if (!r.ok) {
                std::fprintf(stderr, "touchsim: --device %s: %s", device.c_str(), r.text.c_str());
                return 2;
            }
        }
    }
    sim.SetTraceListener([](const touchsim::TraceEntry& e) { Print(e.Line() + "\n"); });
    if (!sim.Start()) return 1;

    int controlListener = -1;
    if (withControlPort) {
        uint16_t bound = 0;
        controlListener = touchsim::OpenListener("127.0.0.1", controlPort, bound);
        if (controlListener < 0) {
            std::fprintf(stderr, "touchsim: cannot listen on the control port %u (%s)\n", controlPort,
                         std::strerror(errno));
            return 1;
        }
        controlPort = bound;
    }
    Print("touchsim rpc=" + std::to_string(sim.RpcPort()) +
          (options.stream ? " stream=" + std::to_string(sim.StreamPort()) : std::string(" stream=off")) +
          (withControlPort ? " control=" + std::to_string(controlPort) : std::string()) + " ready\n");

    std::vector<LineSource> sources;
    sources.push_back(LineSource{STDIN_FILENO, {}, false, true});
    bool running = true;
    char buffer[4096];
    while (running) {
        std::vector<pollfd> fds;
        fds.push_back({signalFd, POLLIN, 0});
        fds.push_back({controlListener, POLLIN, 0});  // a negative descriptor is skipped by poll
        for (const LineSource& s : sources) fds.push_back({s.fd, POLLIN, 0});
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents) {
            signalfd_siginfo info;
            if (read(signalFd, &info, sizeof info) > 0)
                std::fprintf(stderr, "touchsim: signal %u, stopping\n", info.ssi_signo);
            break;
        }
        if (fds[1].revents & POLLIN) {
            int fd = touchsim::AcceptClient(controlListener);
            if (fd >= 0 && sources.size() > kMaxControlClients) {
                const char busy[] = "error: too many control connections\n";
                touchsim::SendAll(fd, busy, sizeof busy - 1, 100);
                close(fd);
            } else if (fd >= 0) {
                sources.push_back(LineSource{fd, {}, false, false});
            }
        }
        std::vector<int> finished;
        for (size_t i = 2; i < fds.size() && running; ++i) {
            if (!fds[i].revents) continue;
            LineSource& source = sources[i - 2];
            ssize_t n = read(source.fd, buffer, sizeof buffer);
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
            if (n <= 0) {
                // End of standard input (for example /dev/null in a script) does not stop the
                // service: only "quit" or a signal does.
                if (!source.pending.empty()) running = Feed(sim, source, "\n", 1);
                finished.push_back(source.fd);
                continue;
            }
            running = Feed(sim, source, buffer, static_cast<size_t>(n));
        }
        for (int fd : finished) {
            sources.erase(std::remove_if(sources.begin(), sources.end(),
                                         [fd](const LineSource& s) { return s.fd == fd; }),
                          sources.end());
            if (fd != STDIN_FILENO) close(fd);
        }
    }

    for (LineSource& s : sources)
        if (s.fd != STDIN_FILENO) close(s.fd);
    touchsim::CloseFd(controlListener);
    sim.Stop();
    close(signalFd);
    return 0;
}
