// The touchsim program end to end: started in the background with standard input at end of file,
// driven over its control port, stopped by a signal. The tests run in the build's bin folder, beside
// the program; run elsewhere they are skipped.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <regex>
#include <string>
#include <thread>

#include "servicelink/ServiceContract.h"
#include "tools/touchsim/SimTestClients.h"

using namespace touchsim_test;

namespace {

const char kProgram[] = "./touchsim";

class RunningProgram {
public:
    // Starts the program on free ports with standard input from /dev/null.
    bool Start() {
        int out[2];
        if (pipe(out) != 0) return false;
        pid_ = fork();
        if (pid_ == 0) {
            int null = open("/dev/null", O_RDONLY);
            dup2(null, STDIN_FILENO);
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            execl(kProgram, kProgram, "--port", "0", "--stream-port", "0", "--control-port", "0",
                  "--required-version", "31", static_cast<char*>(nullptr));
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

}  // namespace

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
