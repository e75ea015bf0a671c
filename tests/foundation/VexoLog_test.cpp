#include "foundation/VexoLog.h"

#include <gtest/gtest.h>

#include <ctime>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "support/LogCapture.h"
#include "platform/LastError.h"

namespace {

// The application's settings: debugger output, Debug lines suppressed.
struct Settings {
    int32_t enabled = 1;
    int32_t minimumLevel = 1;
    uint32_t flags = VEXO_LOG_DEBUGGER | VEXO_LOG_NOTIMESTAMP;
    const wchar_t* tag = L"Config ";
};

void Apply(const Settings& s) {
    g_VexoLog.enabled = s.enabled;
    g_VexoLog.minimumLevel = s.minimumLevel;
    g_VexoLog.flags = s.flags;
    g_VexoLog.tag = s.tag;
}

std::string Stamp(std::time_t t) {
    std::tm local{};
    localtime_r(&t, &local);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d:%02d:%02d %02d:%02d ", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min);
    return buf;
}

}  // namespace

TEST(VexoLog, LineLayoutByteForByte) {
    struct Row {
        Settings settings;
        void (*call)();
        uint32_t lastError;
        const char* expected;  // nullptr: nothing written
    } rows[] = {
        {{}, [] { VexoLogInfo(L"Configuration Entry"); }, 0, "Config Information - Configuration Entry\n"},
        {{}, [] { VexoLogDebug(L"Thread terminated"); }, 0, nullptr},  // below the minimum level
        {{0, 0, VEXO_LOG_DEBUGGER, L"Config "}, [] { VexoLogException(L"x"); }, 0, nullptr},  // not enabled
        {{1, 0}, [] { VexoLogDebug(L"Current path %s ", std::string("/opt/q")); }, 0,
         "Config Debug - Current path /opt/q \n"},
        {{1, 0}, [] { VexoLog(-1, L"Debug - ", 0, L"neg"); }, 0, nullptr},  // signed comparison
        {{}, [] { VexoLog(VEXO_LOG_INFORMATION, nullptr, 0, L"no prefix"); }, 0, "Config no prefix\n"},
        {{1, 1, VEXO_LOG_DEBUGGER | VEXO_LOG_NOTIMESTAMP, nullptr}, [] { VexoLogInfo(L"no tag"); }, 0,
         "Information - no tag\n"},
        {{1, 1, VEXO_LOG_DEBUGGER | VEXO_LOG_NOTIMESTAMP | VEXO_LOG_NONEWLINE}, [] { VexoLogInfo(L"a"); }, 0,
         "Config Information - a"},
        {{}, [] { VexoLogException(L"VexoFileCreate failed"); }, 2,
         "Config Exception - VexoFileCreate failed with last error [0x00000002:No such file or directory]\n"},
        {{}, [] { VexoLogException(L"Get response failed"); }, 10054,
         "Config Exception - Get response failed with last error [0x00002746:Connection reset by peer]\n"},
        {{}, [] { VexoLogException(L"odd"); }, 0xE0001234u, "Config Exception - odd with last error [0xE0001234:]\n"},
        {{}, [] { VexoLogInfo(L"%hs|%s|%i|%u", "n", u"w", -3, 7u); }, 0, "Config Information - n|w|-3|7\n"},
        // Percent signs inside an argument are printed as they are, never interpreted again.
        {{}, [] { VexoLogInfo(L"%s", std::string("100% %s %n")); }, 0, "Config Information - 100% %s %n\n"},
    };
    for (const Row& r : rows) {
        LogCapture log;
        Apply(r.settings);
        VexoPlatform::SetLastError(r.lastError);
        r.call();
        std::vector<std::string> lines = log.Lines();
        if (!r.expected) {
            EXPECT_TRUE(lines.empty()) << lines[0];
            continue;
        }
        ASSERT_EQ(lines.size(), 1u) << r.expected;
        EXPECT_EQ(lines[0], r.expected);
    }
    VexoPlatform::SetLastError(0);
}

TEST(VexoLog, TimeStampLeadsTheLine) {
    LogCapture log;
    g_VexoLog.flags = VEXO_LOG_DEBUGGER;
    g_VexoLog.tag = L"Config ";
    const std::time_t before = std::time(nullptr);
    VexoLogInfo(L"Configuration Entry");
    const std::time_t after = std::time(nullptr);
    ASSERT_EQ(log.Lines().size(), 1u);
    const std::string line = log.Lines()[0];
    EXPECT_TRUE(std::regex_match(line, std::regex(R"(\d{4}:\d{2}:\d{2} \d{2}:\d{2} Config Information - Configuration Entry\n)")))
        << line;
    const std::string stamp = line.substr(0, 17);
    EXPECT_TRUE(stamp == Stamp(before) || stamp == Stamp(after)) << stamp;
}

TEST(VexoLog, MessageIsCutAt259UnitsAndTheSuffixStillFollows) {
    LogCapture log;
    g_VexoLog.flags = VEXO_LOG_DEBUGGER | VEXO_LOG_NOTIMESTAMP;
    g_VexoLog.tag = L"Config ";
    VexoPlatform::SetLastError(2);
    VexoLogException(L"%hs", std::string(300, 'm'));
    ASSERT_EQ(log.Lines().size(), 1u);
    EXPECT_EQ(log.Lines()[0], "Config Exception - " + std::string(259, 'm') +
                                  " with last error [0x00000002:No such file or directory]\n");

    // A cut never leaves half of a surrogate pair behind.
    VexoLogInfo(L"%s%s", std::u16string(258, u'a'), u"\U0001F600");
    ASSERT_EQ(log.Lines().size(), 2u);
    EXPECT_EQ(log.Lines()[1], "Config Information - " + std::string(258, 'a') + "\n");
    VexoPlatform::SetLastError(0);
}

TEST(VexoLog, ConsoleFlagWritesToStandardOutputFirst) {
    for (uint32_t flags : {uint32_t(VEXO_LOG_CONSOLE), uint32_t(VEXO_LOG_CONSOLE | VEXO_LOG_DEBUGGER)}) {
        LogCapture log;
        g_VexoLog.flags = flags | VEXO_LOG_NOTIMESTAMP;
        g_VexoLog.tag = L"Config ";
        testing::internal::CaptureStdout();
        VexoLogInfo(L"to %s \u4E2D", "console");
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "Config Information - to console \xE4\xB8\xAD\n");
        EXPECT_EQ(log.Lines().size(), (flags & VEXO_LOG_DEBUGGER) ? 1u : 0u);
    }
}

TEST(VexoLog, ConcurrentLinesOnStandardErrorNeverMix) {
    const VexoLogSettings saved = g_VexoLog;
    g_VexoLog.enabled = 1;
    g_VexoLog.minimumLevel = 0;
    g_VexoLog.flags = VEXO_LOG_DEBUGGER | VEXO_LOG_NOTIMESTAMP;
    g_VexoLog.tag = L"Config ";
    VexoPlatform::SetDebugSink(nullptr);  // the real output: one write per line to standard error
    testing::internal::CaptureStderr();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            const std::string body(120, char('a' + t));
            for (int i = 0; i < 200; ++i) VexoLogInfo(L"%i %hs %i", t, body, i);
        });
    }
    for (std::thread& th : threads) th.join();
    const std::string out = testing::internal::GetCapturedStderr();
    g_VexoLog = saved;

    const std::regex whole(R"(Config Information - ([0-3]) ([a-d]{120}) (\d+))");
    size_t lines = 0, start = 0;
    for (size_t nl = out.find('\n'); nl != std::string::npos; nl = out.find('\n', start)) {
        std::smatch m;
        const std::string line = out.substr(start, nl - start);
        ASSERT_TRUE(std::regex_match(line, m, whole)) << line;
        EXPECT_EQ(m[2].str(), std::string(120, char('a' + std::stoi(m[1].str()))));
        ++lines;
        start = nl + 1;
    }
    EXPECT_EQ(start, out.size());
    EXPECT_EQ(lines, 800u);
}
