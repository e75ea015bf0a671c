// The touchsim program end to end: started in the background with standard input at end of file,
// driven over its control port, stopped by a signal. The tests run in the build's bin folder, beside
// the program; run elsewhere they are skipped.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "servicelink/ServiceContract.h"
#include "tools/touchsim/SimTestClients.h"

using namespace touchsim_test;

namespace {

const char kProgram[] = "./touchsim";

class RunningProgram {
public:
    // Starts the program on free ports with standard input from /dev/null.
    bool Start(const std::vector<std::string>& extra = {}) {
        int out[2];
        if (pipe(out) != 0) return false;
        pid_ = fork();
        if (pid_ == 0) {
            int null = open("/dev/null", O_RDONLY);
            dup2(null, STDIN_FILENO);
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            std::vector<std::string> words{kProgram, "--port", "0", "--stream-port", "0", "--control-port", "0",
                                           "--required-version", "31"};
            words.insert(words.end(), extra.begin(), extra.end());
            std::vector<char*> argv;
            for (std::string& w : words) argv.push_back(w.data());
            argv.push_back(nullptr);
            execv(kProgram, argv.data());
            _exit(127);
        }
        close(out[1]);
        out_ = out[0];
        std::string ready = ReadLine();
        std::smatch m;
        if (!std::regex_search(ready, m, std::regex("rpc=(\\d+) stream=(\\d+) control=(\\d+) ready"))) return false;
        rpcPort = static_cast<uint16_t>(std::stoi(m[1]));
        controlPort = static_cast<uint16_t>(std::stoi(m[3]));
        return true;
    }

    ~RunningProgram() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) close(out_);
    }

    // One line of the program's standard output, or "" after the time is up.
    std::string ReadLine(int timeoutMs = kArriveMs) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        size_t nl;
        while ((nl = buffer_.find('\n')) == std::string::npos) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            std::vector<uint8_t> chunk;
            if (left.count() <= 0 || ReceiveOnceFd(chunk, static_cast<int>(left.count())) <= 0) return "";
            buffer_.append(chunk.begin(), chunk.end());
        }
        std::string line = buffer_.substr(0, nl);
        buffer_.erase(0, nl + 1);
        return line;
    }

    // Exit status after SIGTERM, or -1 when it did not end in time.
    int Terminate(int timeoutMs) {
        kill(pid_, SIGTERM);
        for (int waited = 0; waited < timeoutMs; waited += 10) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }

    uint16_t rpcPort = 0, controlPort = 0;

private:
    int ReceiveOnceFd(std::vector<uint8_t>& out, int timeoutMs) {
        pollfd pfd{out_, POLLIN, 0};
        if (poll(&pfd, 1, timeoutMs) <= 0) return -1;
        out.assign(4096, 0);
        ssize_t n = read(out_, out.data(), out.size());
        out.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return static_cast<int>(n);
    }

    pid_t pid_ = -1;
    int out_ = -1;
    bool exited_ = false;
    std::string buffer_;
};

struct Finished {
    int status = -1;  // exit status, -1 when it did not end within 10 s
    std::string out, err;
};

// Runs the program with these arguments to its end, standard input from /dev/null.
Finished RunToEnd(const std::vector<std::string>& args) {
    Finished f;
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) return f;
    std::vector<std::string> all{kProgram};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_RDONLY);
        dup2(null, STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        execv(kProgram, argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* texts[2] = {&f.out, &f.err};
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int open_ = 2;
    while (open_ > 0 && std::chrono::steady_clock::now() < deadline) {
        if (poll(fds, 2, 100) <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !fds[i].revents) continue;
            char buffer[4096];
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                texts[i]->append(buffer, size_t(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_;
            }
        }
    }
    for (pollfd& p : fds)
        if (p.fd >= 0) close(p.fd);
    int status = 0;
    if (open_ > 0) kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    if (open_ == 0 && WIFEXITED(status)) f.status = WEXITSTATUS(status);
    return f;
}

}  // namespace

// --help goes to standard output with status 0; a bad command line names the problem on standard
// error with status 2 and starts nothing.
TEST(TouchsimProgram, HelpAndCommandLineErrors) {
    if (access(kProgram, X_OK) != 0) GTEST_SKIP() << "touchsim is not in the working directory";
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* errorPart;  // nullptr: --help, checked on standard output
    } cases[] = {
        {{"--help"}, 0, nullptr},
        {{"-h"}, 0, nullptr},
        {{"--port", "0", "--help"}, 0, nullptr},
        {{"--bogus"}, 2, "unknown option '--bogus'"},
        {{"--port=1"}, 2, "'--port=1': give the value as a separate word (--port 1)"},
        {{"--port", "99999"}, 2, "--port: '99999' is not a port number (0..65535)"},
        {{"--stream-port", "-1"}, 2, "--stream-port: '-1' is not a port number"},
        {{"--control-port", "abc"}, 2, "--control-port: 'abc' is not a port number"},
        {{"--required-version", "4294967296"}, 2, "--required-version: '4294967296' is not a whole number"},
        {{"--port"}, 2, "--port needs a value"},
        {{"extra"}, 2, "unexpected argument 'extra'"},
        {{"--send", "plug"}, 2, "--send needs the control port"},
        {{"--send", "plug", "--control-port", "0"}, 2, "--send needs the control port"},
        {{"--no-stream", "--control-port", "5", "--send", "plug"}, 2, "--no-stream does not go with it"},
    };
    for (const Case& c : cases) {
        std::string line;
        for (const std::string& a : c.args) line += a + " ";
        const Finished f = RunToEnd(c.args);
        EXPECT_EQ(f.status, c.status) << line;
        if (!c.errorPart) {
            EXPECT_EQ(f.out.rfind("usage: touchsim ", 0), 0u) << line;
            EXPECT_NE(f.out.find("--send COMMAND"), std::string::npos) << line;
            EXPECT_NE(f.out.find("tap X Y"), std::string::npos) << "the control commands too";
            EXPECT_EQ(f.err, "") << line;
        } else {
            EXPECT_EQ(f.out, "") << line;
            EXPECT_EQ(f.err.rfind("touchsim: ", 0), 0u) << line << f.err;
            EXPECT_NE(f.err.find(c.errorPart), std::string::npos) << line << f.err;
            EXPECT_EQ(std::count(f.err.begin(), f.err.end(), '\n'), 1) << f.err;
        }
    }
}

// touchsim --send: the control client that ships with the program.
TEST(TouchsimProgram, SendTalksToARunningTouchsim) {
    if (access(kProgram, X_OK) != 0) GTEST_SKIP() << "touchsim is not in the working directory";
    RunningProgram program;
    ASSERT_TRUE(program.Start());
    const std::string port = std::to_string(program.controlPort);

    Finished f = RunToEnd({"--control-port", port, "--send", "busy on", "--send", "clients"});
    EXPECT_EQ(f.status, 0) << f.err;
    EXPECT_EQ(f.out, "ok\nok rpc=0 stream=0\n");
    RpcClient client(program.rpcPort);
    touchsim::Frame reply;
    ASSERT_TRUE(client.Call(VexoSource::GetAccessState, 1, reply));
    EXPECT_EQ(reply.payload, std::vector<uint8_t>{0}) << "busy on reached the service";

    // Lines of a listing come before the status line; the client waits for the status line.
    f = RunToEnd({"--control-port", port, "--send", "trace"});
    EXPECT_EQ(f.status, 0);
    EXPECT_EQ(f.out.rfind("call GetAccessState", 0), 0u) << f.out;
    EXPECT_NE(f.out.find("\nok 1 calls\n"), std::string::npos) << f.out;

    // The first error ends the run with status 1; later commands are not sent.
    f = RunToEnd({"--control-port", port, "--send", "version 300\nbusy off"});
    EXPECT_EQ(f.status, 1);
    EXPECT_EQ(f.out, "error: version: N '300' is out of range 0..255\n");
    ASSERT_TRUE(client.Call(VexoSource::GetAccessState, 1, reply));
    EXPECT_EQ(reply.payload, std::vector<uint8_t>{0});

    f = RunToEnd({"--control-port", "1", "--send", "plug"});
    EXPECT_EQ(f.status, 1);
    EXPECT_NE(f.err.find("cannot reach the control port 127.0.0.1:1"), std::string::npos) << f.err;

    f = RunToEnd({"--control-port", port, "--send", "quit"});
    EXPECT_EQ(f.status, 0);
    EXPECT_EQ(f.out, "ok bye\n");
}

TEST(TouchsimProgram, RunsInTheBackgroundPrintsEachCallAndStopsOnSigterm) {
    if (access(kProgram, X_OK) != 0) GTEST_SKIP() << "touchsim is not in the working directory";
    RunningProgram program;
    ASSERT_TRUE(program.Start());

    // Standard input was at its end from the start; the service still answers.
    RpcClient client(program.rpcPort);
    touchsim::Frame reply;
    ASSERT_TRUE(client.Call(VexoSource::GetProductSeries, 42, reply));
    ASSERT_EQ(reply.payload.size(), 42u);
    EXPECT_EQ(reply.payload[0], 31) << "--required-version";
    EXPECT_EQ(program.ReadLine().rfind("call GetProductSeries code=56 sel=36 expect=42", 0), 0u);

    RpcClient control(program.controlPort);
    const std::string commands = "busy on\nnonsense\n";
    control.SendRaw(std::vector<uint8_t>(commands.begin(), commands.end()));
    std::string answers;
    while (std::count(answers.begin(), answers.end(), '\n') < 2) {
        std::vector<uint8_t> bytes;
        if (ReceiveOnce(control.Fd(), bytes, kArriveMs) <= 0) break;
        answers.append(bytes.begin(), bytes.end());
    }
    EXPECT_EQ(answers.rfind("ok\nerror: ", 0), 0u) << answers;
    ASSERT_TRUE(client.Call(VexoSource::GetAccessState, 1, reply));
    EXPECT_EQ(reply.payload, std::vector<uint8_t>{0});

    EXPECT_EQ(program.Terminate(2000), 0);
}

TEST(TouchsimProgram, DeviceOptionsAreTheFramesAttached) {
    if (access(kProgram, X_OK) != 0) GTEST_SKIP() << "touchsim is not in the working directory";
    struct Row {
        const char* name;
        std::vector<std::string> options;
        std::string list;  // the GetDeviceList text
    } rows[] = {
        {"none: the built-in frame", {}, "0102030405060708"},
        {"one replaces the built-in frame", {"--device", "1111111111111111:inches=32"}, "1111111111111111"},
        {"three give three",
         {"--device", "1111111111111111", "--device", "2222222222222222", "--device", "3333333333333333"},
         "1111111111111111:2222222222222222:3333333333333333"},
        {"the built-in one named keeps its place", {"--device", "0102030405060708:touches=7", "--device", "1111111111111111"},
         "0102030405060708:1111111111111111"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        RunningProgram program;
        ASSERT_TRUE(program.Start(r.options));
        RpcClient client(program.rpcPort);
        touchsim::Frame reply;
        ASSERT_TRUE(client.Call(VexoSource::GetDeviceList, VexoSource::kDeviceListReplyLength, reply));
        const std::string text(reply.payload.begin(), std::find(reply.payload.begin(), reply.payload.end(), 0));
        EXPECT_EQ(text, r.list);
        EXPECT_EQ(program.Terminate(2000), 0);
    }
}
