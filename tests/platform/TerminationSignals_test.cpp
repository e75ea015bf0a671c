// SIGTERM, SIGINT and SIGHUP become a readable pipe and a recorded number instead of the end of the
// process; workers leave them to the thread that watches the pipe.
#include <poll.h>
#include <pthread.h>
#include <signal.h>

#include <gtest/gtest.h>

#include <atomic>

#include "foundation/VexoThread.h"
#include "platform/TerminationSignals.h"

using VexoPlatform::TerminationSignals;

namespace {

bool Readable(int fd, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, timeoutMs) == 1;
}

void (*Disposition(int signo))(int) {
    struct sigaction current {};
    sigaction(signo, nullptr, &current);
    return current.sa_handler;
}

// Installs for one test and leaves the process as it was.
class Installed : public ::testing::Test {
protected:
    void SetUp() override {
        TerminationSignals::Reset();
        ASSERT_TRUE(TerminationSignals::Install());
    }
    void TearDown() override {
        TerminationSignals::Uninstall();
        TerminationSignals::Reset();
    }
};

}  // namespace

TEST_F(Installed, EachSignalWakesThePipeAndIsRecordedNotFatal) {
    for (int signo : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signo);
        TerminationSignals::Reset();
        EXPECT_FALSE(Readable(TerminationSignals::WakeFd(), 0));
        ASSERT_EQ(kill(getpid(), signo), 0);
        EXPECT_TRUE(Readable(TerminationSignals::WakeFd(), 2000));
        EXPECT_EQ(TerminationSignals::Received(), signo);
        TerminationSignals::Drain();
        EXPECT_FALSE(Readable(TerminationSignals::WakeFd(), 0)) << "drained";
    }
    // A second signal before the first was acted on keeps the first number and wakes again.
    TerminationSignals::Reset();
    raise(SIGHUP);
    raise(SIGTERM);
    EXPECT_EQ(TerminationSignals::Received(), SIGHUP);
    EXPECT_TRUE(Readable(TerminationSignals::WakeFd(), 0));
}

TEST_F(Installed, ManySignalsNeverBlockTheHandler) {
    // The pipe holds far less than this; a full pipe must not make the handler wait.
    for (int i = 0; i < 100000; ++i) raise(SIGINT);
    EXPECT_TRUE(Readable(TerminationSignals::WakeFd(), 0));
    TerminationSignals::Drain();
    EXPECT_FALSE(Readable(TerminationSignals::WakeFd(), 0));
}

TEST(TerminationSignals, UninstallRestoresWhatWasThere) {
    ASSERT_EQ(Disposition(SIGTERM), SIG_DFL);
    const auto previousPipe = Disposition(SIGPIPE);
    ASSERT_TRUE(TerminationSignals::Install());
    EXPECT_TRUE(TerminationSignals::Installed());
    EXPECT_TRUE(TerminationSignals::Install()) << "a second install is harmless";
    EXPECT_NE(Disposition(SIGTERM), SIG_DFL);
    EXPECT_EQ(Disposition(SIGPIPE), SIG_IGN) << "a log reader that went away must not end the program";
    TerminationSignals::Uninstall();
    EXPECT_FALSE(TerminationSignals::Installed());
    EXPECT_EQ(TerminationSignals::WakeFd(), -1);
    EXPECT_EQ(Disposition(SIGTERM), SIG_DFL);
    EXPECT_EQ(Disposition(SIGHUP), SIG_DFL);
    EXPECT_EQ(Disposition(SIGPIPE), previousPipe);
}

TEST(TerminationSignals, WorkersLeaveTheSignalsToTheStartingThread) {
    struct Probe : VexoSource::VexoThread {
        std::atomic<int> blocked{-1};
        void Run() override {
            sigset_t mask;
            pthread_sigmask(SIG_SETMASK, nullptr, &mask);
            blocked = sigismember(&mask, SIGTERM) && sigismember(&mask, SIGINT) && sigismember(&mask, SIGHUP);
            while (!StopRequested()) SleepFor(1000);
        }
    } probe;
    probe.Start();
    while (probe.blocked.load() < 0) VexoSource::VexoThread::SleepCurrent(5);
    EXPECT_EQ(probe.blocked.load(), 1);
    probe.Stop();

    sigset_t mine;
    pthread_sigmask(SIG_SETMASK, nullptr, &mine);
    EXPECT_FALSE(sigismember(&mine, SIGTERM)) << "the starting thread's own mask is back as it was";
}
