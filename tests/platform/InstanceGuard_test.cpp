// The single-instance guard: one holder per machine whoever asks, that the kernel gives it back
// however its holder ends, and that a refused start names the holder. Unit tests share the host's
// network namespace, so each test takes a name of its own.
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <functional>
#include <string>

#include "platform/InstanceGuard.h"

using VexoPlatform::InstanceGuard;
using State = InstanceGuard::State;

namespace {

constexpr uid_t kOtherUser = 65534;  // nobody

bool IsRoot() { return geteuid() == 0; }

// A name no other test process uses at the same time.
std::string UniqueName() {
    static int serial = 0;
    return "qln-guard-test." + std::to_string(getpid()) + "." + std::to_string(++serial);
}

// A child process that (as user, when given) tries the guard, reports what it got on a pipe and
// then ends as end says. Returns the child's pid and what it reported.
struct Child {
    pid_t pid = -1;
    char got = '?';  // 'y' held, 'n' held elsewhere, 'u' unavailable
};
Child ChildTrying(const std::string& name, const std::function<void()>& end, uid_t user = uid_t(-1),
                  bool ownNetwork = false) {
    Child c;
    int report[2];
    if (pipe(report) != 0) return c;
    c.pid = fork();
    if (c.pid == 0) {
        close(report[0]);
        if (ownNetwork && unshare(CLONE_NEWNET) != 0) _exit(3);
        if (user != uid_t(-1) && (setresgid(user, user, user) != 0 || setresuid(user, user, user) != 0)) _exit(3);
        InstanceGuard guard(name);
        const State s = guard.Acquire();
        const char got = s == State::Held ? 'y' : s == State::HeldElsewhere ? 'n' : 'u';
        if (write(report[1], &got, 1) != 1) _exit(2);
        end();
        _exit(0);
    }
    close(report[1]);
    if (read(report[0], &c.got, 1) != 1) c.got = '?';
    close(report[0]);
    return c;
}

void Stop(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

}  // namespace

TEST(InstanceGuard, OneHolderEveryLaterTryIsRefusedAndToldWhoHoldsIt) {
    const std::string name = UniqueName();
    InstanceGuard first(name);
    ASSERT_EQ(first.Acquire(), State::Held);
    EXPECT_EQ(first.Address(), "@" + name);
    EXPECT_EQ(first.Acquire(), State::Held) << "taking it again while held changes nothing";

    // Second, third and fourth launches: each is refused, and none takes anything from the holder.
    for (int launch = 2; launch <= 4; ++launch) {
        SCOPED_TRACE(launch);
        InstanceGuard later(name);
        EXPECT_EQ(later.Acquire(), State::HeldElsewhere);
        EXPECT_FALSE(later.Held());
        EXPECT_NE(later.Holder().find("process " + std::to_string(getpid()) + " of user "), std::string::npos)
            << later.Holder();
        EXPECT_NE(later.Holder().find("(" + std::to_string(geteuid()) + ")"), std::string::npos) << later.Holder();
    }
    EXPECT_TRUE(first.Held());

    // Given up at exit, the next one takes the guard.
    first.Release();
    EXPECT_EQ(first.GetState(), State::None);
    InstanceGuard next(name);
    EXPECT_EQ(next.Acquire(), State::Held);
    {
        InstanceGuard refused(name);
        EXPECT_EQ(refused.Acquire(), State::HeldElsewhere);
    }
    EXPECT_TRUE(next.Held()) << "a refused object going away does not release the holder";
}

TEST(InstanceGuard, TheKernelGivesTheGuardBackHoweverItsHolderEnds) {
    struct Row {
        const char* name;
        std::function<void()> end;  // what the holding child does after taking the guard
        int signal;                 // sent to it by the test (0: none)
    } rows[] = {
        {"ends without releasing", [] { _exit(0); }, 0},
        {"terminated", [] { pause(); }, SIGTERM},
        {"killed", [] { pause(); }, SIGKILL},
        {"crashes", [] { abort(); }, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const std::string name = UniqueName();
        const Child child = ChildTrying(name, r.end);
        ASSERT_EQ(child.got, 'y');
        if (r.signal == 0) {
            waitpid(child.pid, nullptr, 0);
        } else {
            InstanceGuard whileHeld(name);
            EXPECT_EQ(whileHeld.Acquire(), State::HeldElsewhere);
            EXPECT_NE(whileHeld.Holder().find("process " + std::to_string(child.pid) + " "), std::string::npos);
            kill(child.pid, r.signal);
            waitpid(child.pid, nullptr, 0);
        }
        InstanceGuard after(name);
        EXPECT_EQ(after.Acquire(), State::Held) << "the very next start succeeds";
    }
}

TEST(InstanceGuard, AProgramStartedByTheHolderDoesNotKeepTheGuard) {
    const std::string name = UniqueName();
    InstanceGuard holder(name);
    ASSERT_EQ(holder.Acquire(), State::Held);
    // A child that outlives its starter (as the updater does); the pipe closes when it has exec'd.
    int started[2];
    ASSERT_EQ(pipe2(started, O_CLOEXEC), 0);
    const pid_t child = fork();
    if (child == 0) {
        execl("/bin/sleep", "sleep", "30", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(started[1]);
    char c;
    EXPECT_EQ(read(started[0], &c, 1), 0);
    close(started[0]);

    holder.Release();
    InstanceGuard next(name);
    EXPECT_EQ(next.Acquire(), State::Held);
    Stop(child);
}

TEST(InstanceGuard, EveryUserOfTheMachineSharesOneGuard) {
    if (!IsRoot()) GTEST_SKIP() << "needs root to act as another user";
    struct Row {
        const char* name;
        uid_t holder, later;
    } rows[] = {
        {"another user while root holds it (sudo beside a session)", 0, kOtherUser},
        {"root while another user holds it", kOtherUser, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const std::string name = UniqueName();
        const Child holder = ChildTrying(name, [] { pause(); }, r.holder);
        ASSERT_EQ(holder.got, 'y');
        const Child later = ChildTrying(name, [] {}, r.later);
        EXPECT_EQ(later.got, 'n');
        waitpid(later.pid, nullptr, 0);
        InstanceGuard here(name);
        EXPECT_EQ(here.Acquire(), State::HeldElsewhere);
        EXPECT_NE(here.Holder().find("(" + std::to_string(r.holder) + ")"), std::string::npos) << here.Holder();
        Stop(holder.pid);
        EXPECT_EQ(here.Acquire(), State::Held);
    }
}

TEST(InstanceGuard, ANetworkNamespaceOfItsOwnHasAGuardOfItsOwn) {
    // Such a namespace also has a loopback, and so a touch service, of its own.
    const std::string name = UniqueName();
    InstanceGuard here(name);
    ASSERT_EQ(here.Acquire(), State::Held);
    const Child apart = ChildTrying(name, [] {}, uid_t(-1), true);
    waitpid(apart.pid, nullptr, 0);
    if (apart.got == '?') GTEST_SKIP() << "cannot make a network namespace here";
    EXPECT_EQ(apart.got, 'y');
}

TEST(InstanceGuard, AHolderThatDoesNotSayWhoItIsStillHoldsIt) {
    struct Row {
        const char* name;
        bool listens;  // false: the name is bound by something that never listens
        int refusals;  // refused starts before the one checked (each stays in the holder's queue)
    } rows[] = {
        {"a socket bound by something else, not listening", false, 0},
        {"a holder whose queue is full of refused starts", true, 100},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const std::string name = UniqueName();
        int squatter = -1;
        InstanceGuard holder(name);
        if (r.listens) {
            ASSERT_EQ(holder.Acquire(), State::Held);
        } else {
            sockaddr_un addr {};
            addr.sun_family = AF_UNIX;
            std::memcpy(addr.sun_path + 1, name.data(), name.size());
            squatter = socket(AF_UNIX, SOCK_STREAM, 0);
            ASSERT_EQ(bind(squatter, reinterpret_cast<sockaddr*>(&addr),
                           socklen_t(offsetof(sockaddr_un, sun_path) + 1 + name.size())),
                      0);
        }
        for (int k = 0; k < r.refusals; ++k) {
            InstanceGuard refused(name);
            ASSERT_EQ(refused.Acquire(), State::HeldElsewhere) << k;
        }
        InstanceGuard later(name);
        EXPECT_EQ(later.Acquire(), State::HeldElsewhere) << "never taken for free";
        EXPECT_TRUE(later.Holder().empty()) << later.Holder();
        if (squatter >= 0) close(squatter);
        holder.Release();
        EXPECT_EQ(later.Acquire(), State::Held) << "free once the holder has gone";
    }
}

TEST(InstanceGuard, AnUnusableNameIsReported) {
    const struct {
        const char* name;
        std::string guardName;
    } rows[] = {
        {"empty", ""},
        {"longer than an address holds", std::string(101, 'x')},
        {"with a blank", "two words"},
        {"with a NUL", std::string("a\0b", 3)},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        InstanceGuard guard(r.guardName);
        EXPECT_EQ(guard.Acquire(), State::Unavailable);
        EXPECT_FALSE(guard.Problem().empty());
    }
}
