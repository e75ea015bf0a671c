// The "debugger output" of the diagnostic log.
//
// By default each finished line (UTF-8) is written whole to standard error (one write per line,
// so lines of concurrent threads never mix). Tests replace the sink to capture the lines.
#pragma once

#include <functional>
#include <string>

namespace VexoPlatform {

using DebugSink = std::function<void(const std::string& utf8Line)>;

void OutputDebugString(const std::string& utf8Line);

// Installs a sink (an empty function restores standard error). Returns the previous sink.
DebugSink SetDebugSink(DebugSink sink);

// Writes a finished line to standard output (the log's Console flag).
void ConsoleOutput(const std::string& utf8Line);

}  // namespace VexoPlatform
