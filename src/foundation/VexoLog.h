// The process-wide diagnostic log.
//
// One line per call: time stamp, tag, level prefix, the formatted message (cut at 259 units),
// optionally " with last error [0x%0.8X:%s]", and a newline. Formats follow the Windows
// conventions ("%s" wide, "%hs" narrow), but every argument is printed by its C++ type (see
// VexoFormat.h), so a mismatched pair cannot read through a bad pointer.
//
// Each call builds its line in buffers of its own and hands the finished line to the outputs in
// one piece, so lines of concurrent threads never mix.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "foundation/VexoFormat.h"

enum VexoLogLevel : int32_t { VEXO_LOG_DEBUG = 0, VEXO_LOG_INFORMATION = 1, VEXO_LOG_EXCEPTION = 2 };

enum VexoLogFlags : uint32_t {
    VEXO_LOG_CONSOLE = 0x01,       // the line goes to standard output
    VEXO_LOG_DEBUGGER = 0x02,      // the line goes to the debugger output (standard error here)
    VEXO_LOG_NONEWLINE = 0x04,
    VEXO_LOG_NOTIMESTAMP = 0x08,
};

// The four process-wide settings, set at start-up. Each is atomic, so that changing one while
// workers log (tests capture the log that way) is safe; a line reads each of them once.
struct VexoLogSettings {
    std::atomic<int32_t> enabled{0};
    std::atomic<int32_t> minimumLevel{0};
    std::atomic<uint32_t> flags{VEXO_LOG_CONSOLE};
    std::atomic<const wchar_t*> tag{L"VexoLog : "};  // nullptr writes no tag

    VexoLogSettings() = default;
    VexoLogSettings(const VexoLogSettings& other) { *this = other; }
    VexoLogSettings& operator=(const VexoLogSettings& other) {
        enabled = other.enabled.load();
        minimumLevel = other.minimumLevel.load();
        flags = other.flags.load();
        tag = other.tag.load();
        return *this;
    }
};
extern VexoLogSettings g_VexoLog;

// The line layout without the output step; exposed for tests. Returns false when the settings
// filter the call out.
bool VexoLogFormatLine(std::u16string& line, int32_t level, const wchar_t* prefix, int32_t withLastError,
                       const wchar_t* format, const VexoSource::FormatArg* args, size_t count);

void VexoLogWrite(int32_t level, const wchar_t* prefix, int32_t withLastError, const wchar_t* format,
                  const VexoSource::FormatArg* args, size_t count);

template <typename... A>
void VexoLog(int32_t level, const wchar_t* prefix, int32_t withLastError, const wchar_t* format, const A&... args) {
    const VexoSource::FormatArg list[] = {VexoSource::FormatArg(args)..., VexoSource::FormatArg(0)};
    VexoLogWrite(level, prefix, withLastError, format, list, sizeof...(A));
}

// The pairings every call site uses: level, prefix and last-error switch go together.
template <typename... A>
void VexoLogDebug(const wchar_t* format, const A&... args) {
    VexoLog(VEXO_LOG_DEBUG, L"Debug - ", 0, format, args...);
}
template <typename... A>
void VexoLogInfo(const wchar_t* format, const A&... args) {
    VexoLog(VEXO_LOG_INFORMATION, L"Information - ", 0, format, args...);
}
template <typename... A>
void VexoLogException(const wchar_t* format, const A&... args) {
    VexoLog(VEXO_LOG_EXCEPTION, L"Exception - ", 1, format, args...);
}
