#include "platform/TerminationSignals.h"

#include <fcntl.h>
#include <pthread.h>
#include <semaphore.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>

namespace VexoPlatform {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
constexpr int kSignalCount = int(sizeof kSignals / sizeof kSignals[0]);

// Read by the handler, which may only touch lock-free atomics.
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs lock-free atomics");
std::atomic<int> g_received{0};
std::atomic<int> g_writeFd{-1};
std::atomic<int> g_readFd{-1};
// Posted by the handler (sem_post is async-signal-safe): wakes threads in WaitForFirst.
sem_t g_arrived;
std::atomic<bool> g_arrivedReady{false};

// Install/Uninstall against each other (the handler never takes it).
std::mutex g_installLock;
struct sigaction g_previous[kSignalCount];
struct sigaction g_previousPipe;

void OnSignal(int signo) {
    const int savedErrno = errno;
    int none = 0;
    g_received.compare_exchange_strong(none, signo);
    const int fd = g_writeFd.load();
    if (fd >= 0) {
        const char byte = 1;
        // A full pipe already wakes the reader: the byte may be dropped.
        const ssize_t written = ::write(fd, &byte, 1);
        (void)written;
    }
    if (g_arrivedReady.load()) sem_post(&g_arrived);
    errno = savedErrno;
}

}  // namespace

void TerminationSignals::SignalSet(sigset_t* set) {
    sigemptyset(set);
    for (int s : kSignals) sigaddset(set, s);
}

bool TerminationSignals::Install() {
    std::lock_guard<std::mutex> hold(g_installLock);
    if (g_readFd.load() >= 0) return true;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    if (!g_arrivedReady.load() && sem_init(&g_arrived, 0, 0) == 0) g_arrivedReady = true;
    g_readFd = fds[0];
    g_writeFd = fds[1];

    struct sigaction action {};
    action.sa_handler = &OnSignal;
    // One handler at a time; interrupted calls resume where they can.
    SignalSet(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < kSignalCount; ++i) ::sigaction(kSignals[i], &action, &g_previous[i]);

    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, &g_previousPipe);
    return true;
}

void TerminationSignals::Uninstall() {
    std::lock_guard<std::mutex> hold(g_installLock);
    if (g_readFd.load() < 0) return;
    for (int i = 0; i < kSignalCount; ++i) ::sigaction(kSignals[i], &g_previous[i], nullptr);
    ::sigaction(SIGPIPE, &g_previousPipe, nullptr);
    // The handlers are gone: nothing writes to the pipe any more.
    ::close(g_writeFd.exchange(-1));
    ::close(g_readFd.exchange(-1));
}

bool TerminationSignals::Installed() { return g_readFd.load() >= 0; }

int TerminationSignals::WakeFd() { return g_readFd.load(); }

void TerminationSignals::Drain() {
    const int fd = g_readFd.load();
    if (fd < 0) return;
    char buffer[64];
    while (::read(fd, buffer, sizeof buffer) > 0) {
    }
}

int TerminationSignals::Received() { return g_received.load(); }

void TerminationSignals::Reset() { g_received = 0; }

ScopedTerminationSignalBlock::ScopedTerminationSignalBlock() {
    sigset_t set;
    TerminationSignals::SignalSet(&set);
    ::pthread_sigmask(SIG_BLOCK, &set, &m_previous);
}

ScopedTerminationSignalBlock::~ScopedTerminationSignalBlock() { ::pthread_sigmask(SIG_SETMASK, &m_previous, nullptr); }

}  // namespace VexoPlatform

namespace VexoPlatform {

bool TerminationSignals::WaitForFirst() {
    if (!g_arrivedReady.load()) return false;
    while (g_received.load() == 0) {
        if (sem_wait(&g_arrived) != 0 && errno != EINTR) return false;
    }
    return true;
}

}  // namespace VexoPlatform
