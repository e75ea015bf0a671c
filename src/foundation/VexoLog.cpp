#include "foundation/VexoLog.h"

#include <ctime>

#include "platform/DebugOutput.h"
#include "platform/LastError.h"

VexoLogSettings g_VexoLog;

namespace {
// 260 wide characters including the terminator.
constexpr size_t kMessageLimit = 259;

void AppendLimited(std::u16string& line, std::u16string piece) {
    if (piece.size() > kMessageLimit) {
        piece.resize(kMessageLimit);
        // Never leave half of a surrogate pair at the cut.
        if (!piece.empty() && piece.back() >= 0xD800 && piece.back() <= 0xDBFF) piece.pop_back();
    }
    line += piece;
}

void AppendWide(std::u16string& line, const wchar_t* text) {
    if (text) line += VexoSource::WideToUtf16(text);
}
}  // namespace

bool VexoLogFormatLine(std::u16string& line, int32_t level, const wchar_t* prefix, int32_t withLastError,
                       const wchar_t* format, const VexoSource::FormatArg* args, size_t count) {
    line.clear();
    if (g_VexoLog.enabled == 0 || level < g_VexoLog.minimumLevel) return false;
    const uint32_t flags = g_VexoLog.flags;
    // Read the error first: formatting must not disturb it.
    const uint32_t lastError = VexoPlatform::GetLastError();

    if (!(flags & VEXO_LOG_NOTIMESTAMP)) {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        char stamp[64];
        std::snprintf(stamp, sizeof stamp, "%.4d:%.2d:%.2d %.2d:%.2d ", local.tm_year + 1900, local.tm_mon + 1,
                      local.tm_mday, local.tm_hour, local.tm_min);
        for (const char* c = stamp; *c; ++c) line.push_back(char16_t(*c));
    }
    AppendWide(line, g_VexoLog.tag);
    AppendWide(line, prefix);

    std::u16string message;
    VexoSource::AppendFormatted(message, format, args, count);
    AppendLimited(line, std::move(message));

    if (withLastError) {
        const std::string errorText = VexoPlatform::SystemErrorText(lastError);  // UTF-8
        const VexoSource::FormatArg suffixArgs[] = {VexoSource::FormatArg(lastError), VexoSource::FormatArg(errorText)};
        std::u16string suffix;
        VexoSource::AppendFormatted(suffix, L" with last error [0x%0.8X:%s]", suffixArgs, 2);
        AppendLimited(line, std::move(suffix));
    }
    if (!(flags & VEXO_LOG_NONEWLINE)) line.push_back(u'\n');
    return true;
}

void VexoLogWrite(int32_t level, const wchar_t* prefix, int32_t withLastError, const wchar_t* format,
                  const VexoSource::FormatArg* args, size_t count) {
    std::u16string line;
    if (!VexoLogFormatLine(line, level, prefix, withLastError, format, args, count)) return;
    const uint32_t flags = g_VexoLog.flags;
    if (!(flags & (VEXO_LOG_CONSOLE | VEXO_LOG_DEBUGGER))) return;
    // The outputs take bytes: the line is built in UTF-16 (its limits are counted in units) and
    // handed over in UTF-8.
    const std::string bytes = VexoSource::Utf16ToUtf8Lenient(line);
    if (flags & VEXO_LOG_CONSOLE) VexoPlatform::ConsoleOutput(bytes);
    if (flags & VEXO_LOG_DEBUGGER) VexoPlatform::OutputDebugString(bytes);
}
