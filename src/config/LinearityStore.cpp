#include "config/LinearityStore.h"

#include <mutex>
#include <vector>

#include "foundation/VexoLog.h"
#include "foundation/VexoWString.h"
#include "platform/BoundedRead.h"

namespace VexoSource {
namespace {

std::mutex g_pathLock;
std::string g_path;

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
    return s.substr(b, e - b);
}

// Reads the file as lines; bounded, so a huge or binary file (or one without a line end at all)
// cannot exhaust memory: at most kRegistryFileLimit bytes are read, and a line the bound cuts is
// dropped. Only a regular file is read: a FIFO or a device behind the name would hang or never end.
bool ReadLines(const std::string& path, std::vector<std::string>& lines) {
    std::string text;
    const VexoPlatform::FileReadResult read = VexoPlatform::ReadBoundedFile(path, kRegistryFileLimit, text);
    if (read.problem == VexoPlatform::FileReadResult::Problem::TooLarge) {
        VexoLogInfo(L"Registry file %hs too large, read up to %u bytes", path, static_cast<uint32_t>(kRegistryFileLimit));
        const size_t lastEnd = text.rfind('\n');
        text.resize(lastEnd == std::string::npos ? 0 : lastEnd + 1);
    } else if (read.problem == VexoPlatform::FileReadResult::Problem::NotRegular) {
        VexoLogInfo(L"Registry file %hs not read: %hs", path, VexoPlatform::FileReadReason(read));
        return false;
    } else if (!read.Ok()) {
        return false;
    }
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return true;
}

bool IsSection(const std::string& trimmed, std::string* name) {
    if (trimmed.size() < 2 || trimmed.front() != '[' || trimmed.back() != ']') return false;
    if (name) *name = trimmed.substr(1, trimmed.size() - 2);
    return true;
}

// Splits "name=data"; false for lines that are not values (blank, comments).
bool IsValue(const std::string& trimmed, std::string* name, std::string* data) {
    if (trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '#') return false;
    const size_t eq = trimmed.find('=');
    if (eq == std::string::npos) return false;
    if (name) *name = Trim(trimmed.substr(0, eq));
    if (data) *data = trimmed.substr(eq + 1);
    return true;
}

}  // namespace

std::string SetRegistryFilePath(const std::string& path) {
    std::lock_guard<std::mutex> hold(g_pathLock);
    std::string previous = g_path.empty() ? kDefaultRegistryFile : g_path;
    g_path = path;
    return previous;
}

std::string RegistryFilePath() {
    std::lock_guard<std::mutex> hold(g_pathLock);
    return g_path.empty() ? kDefaultRegistryFile : g_path;
}

bool RegistryKeyExists(const std::string& key) {
    std::vector<std::string> lines;
    if (!ReadLines(RegistryFilePath(), lines)) return false;
    const std::string want = ToLower(key);
    std::string section;
    for (const std::string& l : lines)
        if (IsSection(Trim(l), &section) && ToLower(section) == want) return true;
    return false;
}

bool RegistryValueExists(const std::string& key, const std::string& name) {
    std::vector<std::string> lines;
    if (!ReadLines(RegistryFilePath(), lines)) return false;
    const std::string wantKey = ToLower(key), wantName = ToLower(name);
    bool inKey = false;
    std::string section, valueName;
    for (const std::string& l : lines) {
        const std::string t = Trim(l);
        if (IsSection(t, &section)) {
            inKey = ToLower(section) == wantKey;
        } else if (inKey && IsValue(t, &valueName, nullptr) && ToLower(valueName) == wantName) {
            return true;
        }
    }
    return false;
}

int32_t CheckLinearityData() {
    if (!RegistryKeyExists(kLinearityKey)) return 0;
    return RegistryValueExists(kLinearityKey, kLinearityValue) ? 1 : 0;
}

}  // namespace VexoSource
