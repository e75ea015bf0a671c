#include "touchsim/ControlCommands.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <vector>

namespace touchsim {

namespace {

// A reply delay or busy time longer than ten minutes is a typo, not a test.
constexpr long kMaxMs = 600000;
constexpr long kMaxFingerId = 0x7FFFFFFF;

enum class ArgKind {
    Integer,     // whole number in [min, max]
    Coordinate,  // normalised screen position, 0..1
    Choice,      // one of the '|'-separated words of the name ("on|off"); the value is its index
    Word,        // any one word; the handler checks it
    Rest,        // everything after the command and one blank, as it stands
};

struct Parameter {
    const char* name;  // as usage and errors show it: "MS", "X", "on|off"
    ArgKind kind;
    long min = 0;
    long max = 0;
};

struct Value {
    long integer = 0;  // Integer, and the index for Choice
    float number = 0;  // Coordinate
    std::string text;  // the argument as written
};
using Values = std::vector<Value>;

struct Command {
    const char* name;
    std::vector<Parameter> args;
    bool needsStream;  // acts on the touch stream, which --no-stream leaves out
    const char* help;
    std::function<CommandResult(Simulator&, const Values&)> run;
};

CommandResult Error(const std::string& text) { return CommandResult{false, false, "error: " + text + "\n"}; }
CommandResult Ok(const std::string& detail = "") {
    return CommandResult{true, false, detail.empty() ? "ok\n" : "ok " + detail + "\n"};
}

Parameter Integer(const char* name, long min, long max) { return Parameter{name, ArgKind::Integer, min, max}; }
Parameter Coordinate(const char* name) { return Parameter{name, ArgKind::Coordinate}; }
Parameter Choice(const char* words) { return Parameter{words, ArgKind::Choice}; }
Parameter Word(const char* name) { return Parameter{name, ArgKind::Word}; }
Parameter Rest(const char* name) { return Parameter{name, ArgKind::Rest}; }
Parameter FingerId() { return Integer("ID", 0, kMaxFingerId); }

bool ParseLong(const std::string& text, long min, long max, long& out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno || *end || v < min || v > max) return false;
    out = v;
    return true;
}

// A request given by its name ("ResetDevice") or its code ("6").
bool ParseRequest(const std::string& text, uint32_t& code) {
    long n = 0;
    if (ParseLong(text, 0, 0xFFFFFFFFL, n)) {
        code = static_cast<uint32_t>(n);
        return true;
    }
    for (uint32_t c = 0; c <= 64; ++c) {
        if (text == RequestName(c) && text != "Unknown") {
            code = c;
            return true;
        }
    }
    return false;
}

bool IsDeviceId(const std::string& id) {
    if (id.size() != 16) return false;
    for (char c : id)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

CommandResult SetIds(Simulator& sim, const Values& v) {
    std::vector<std::string> ids;
    if (v[0].text != "-") {
        std::string id;
        std::istringstream list(v[0].text);
        while (std::getline(list, id, ':')) {
            if (!IsDeviceId(id)) return Error("ids: '" + id + "' is not 16 hexadecimal digits");
            ids.push_back(id);
        }
        if (ids.empty()) return Error("ids: no id given (write 'ids -' for none)");
    }
    sim.Edit([&](DeviceModel& m) { m.deviceIds = ids; });
    return Ok();
}

// "device ID [FIELD VALUE]": gives device ID records of its own (and lists it), then sets one field.
CommandResult DeviceCommand(Simulator& sim, const Values& v) {
    std::istringstream words(v[0].text);
    std::vector<std::string> args;
    for (std::string w; words >> w;) args.push_back(w);
    if (args.size() != 1 && args.size() != 3) return Error("device: give ID, or ID FIELD VALUE");
    if (!IsDeviceId(args[0])) return Error("device: ID '" + args[0] + "' is not 16 hexadecimal digits");
    // Checked on a copy first, so that a bad field changes nothing.
    DeviceRecords probe;
    if (args.size() == 3 && !SetDeviceField(probe, args[1], args[2]))
        return Error("device: bad field '" + args[1] + " " + args[2] +
                     "' (version|inches|touches 0..255, runmode 2|3, mode mouse|multitouch, pen 0|1, "
                     "rightclick 0|1, rclickdelay|dclickdelay|smooth N)");
    sim.Edit([&](DeviceModel& m) {
        DeviceRecords& own = m.OwnRecords(args[0]);
        if (args.size() == 3) SetDeviceField(own, args[1], args[2]);
    });
    return Ok();
}

// The request named by a REQ argument, for the next-reply faults.
bool RequestArgument(const char* command, const Value& v, uint32_t& code, CommandResult& error) {
    if (ParseRequest(v.text, code)) return true;
    error = Error(std::string(command) + ": REQ '" + v.text + "' is no request name or code");
    return false;
}

CommandResult SendRaw(Simulator& sim, const Values& v) {
    std::string bytes;
    if (!UnescapeText(v[0].text, bytes)) return Error("raw: broken escape (valid: \\0 \\n \\r \\t \\\\ \\xHH)");
    sim.SendRawStream(bytes);
    return Ok("raw " + std::to_string(bytes.size()) + " bytes");
}

CommandResult ListTrace(Simulator& sim, const Values&) {
    std::string text;
    std::vector<TraceEntry> trace = sim.Trace();
    for (const TraceEntry& e : trace) text += e.Line() + "\n";
    return CommandResult{true, false, text + "ok " + std::to_string(trace.size()) + " calls\n"};
}

CommandResult Help(Simulator&, const Values&) { return CommandResult{true, false, std::string(CommandHelp()) + "ok\n"}; }

// The commands, in the order `help` lists them. A new command is one row: its arguments are
// checked against their ranges before the handler runs, so a handler only sees valid values.
const std::vector<Command>& Commands() {
    static const std::vector<Command> table = {
        {"unplug", {}, false, "stop answering RPC calls (calls are still traced)",
         [](Simulator& s, const Values&) { return s.Unplug(), Ok(); }},
        {"plug", {}, false, "answer RPC calls again", [](Simulator& s, const Values&) { return s.Plug(), Ok(); }},
        {"silent", {Choice("on|off")}, false, "a second switch of the same kind: read calls, send nothing",
         [](Simulator& s, const Values& v) { return s.SetAnswering(v[0].integer == 1), Ok(); }},
        {"busy", {Choice("on|off")}, false, "GetAccessState answers 0 while on; off also ends a busy time",
         [](Simulator& s, const Values& v) { return s.SetBusy(v[0].integer == 0), Ok(); }},
        {"busyreset", {Integer("MS", 0, kMaxMs)}, false, "GetAccessState answers 0 for MS after each ResetDevice",
         [](Simulator& s, const Values& v) { return s.SetBusyAfterReset(static_cast<int>(v[0].integer)), Ok(); }},
        {"close", {}, false, "close every RPC connection",
         [](Simulator& s, const Values&) { return s.CloseClients(), Ok(); }},
        {"reset", {}, false, "end every RPC connection with a reset (RST)",
         [](Simulator& s, const Values&) { return s.ResetClients(), Ok(); }},
        {"delay", {Integer("MS", 0, kMaxMs)}, false, "send each reply MS late (0 = off)",
         [](Simulator& s, const Values& v) { return s.SetReplyDelayMs(static_cast<int>(v[0].integer)), Ok(); }},
        {"oversize", {}, false, "the next reply carries 2 bytes more than the call expects",
         [](Simulator& s, const Values&) { return s.SendOversizedNextReply(), Ok(); }},
        {"twenty", {}, false, "the next reply is a bare 20-byte frame head",
         [](Simulator& s, const Values&) { return s.SendTwentyByteNextReply(), Ok(); }},
        {"refuse", {Choice("on|off")}, false, "refuse new RPC connections (open ones stay) / accept again",
         [](Simulator& s, const Values& v) { return s.RefuseConnections(v[0].integer == 0), Ok(); }},
        {"cutnext", {Word("REQ"), Integer("N", 0, 2028)}, false,
         "the next reply to request REQ (name or code) keeps only N bytes",
         [](Simulator& s, const Values& v) {
             uint32_t code = 0;
             CommandResult error;
             if (!RequestArgument("cutnext", v[0], code, error)) return error;
             return s.CutNextReply(code, static_cast<size_t>(v[1].integer)), Ok();
         }},
        {"dropnext", {Word("REQ")}, false, "the next call of request REQ gets no reply",
         [](Simulator& s, const Values& v) {
             uint32_t code = 0;
             CommandResult error;
             if (!RequestArgument("dropnext", v[0], code, error)) return error;
             return s.DropNextReply(code), Ok();
         }},
        {"delaynext", {Word("REQ"), Integer("MS", 0, kMaxMs)}, false, "the next reply to request REQ comes MS late",
         [](Simulator& s, const Values& v) {
             uint32_t code = 0;
             CommandResult error;
             if (!RequestArgument("delaynext", v[0], code, error)) return error;
             return s.DelayNextReply(code, static_cast<int>(v[1].integer)), Ok();
         }},
        {"garbage", {}, false, "send 28 bytes that are no frame to every RPC client now",
         [](Simulator& s, const Values&) { return s.SendGarbageFrame(), Ok(); }},
        {"callframe", {}, false, "send a call frame to every RPC client now",
         [](Simulator& s, const Values&) { return s.SendCallFrame(), Ok(); }},
        {"ids", {Word("ID[:ID...]|-")}, false, "the device list (16 hex digits per id; '-' = none)", SetIds},
        {"device", {Rest("ID [FIELD VALUE]")}, false,
         "records of its own for device ID (listed), one FIELD set: version|inches|touches N, runmode 2|3, "
         "mode mouse|multitouch, pen|rightclick 0|1, rclickdelay|dclickdelay MS, smooth N",
         DeviceCommand},
        {"required", {Integer("N", 0, 0xFFFFFFFFL)}, false, "configuration version GetProductSeries asks for",
         [](Simulator& s, const Values& v) {
             s.Edit([&](DeviceModel& m) { m.requiredConfigVersion = static_cast<uint32_t>(v[0].integer); });
             return Ok();
         }},
        {"version", {Integer("N", 0, 255)}, false, "version byte (version x 10)",
         [](Simulator& s, const Values& v) {
             s.Edit([&](DeviceModel& m) { m.versionByte = static_cast<uint8_t>(v[0].integer); });
             return Ok();
         }},
        {"inches", {Integer("N", 0, 255)}, false, "screen size",
         [](Simulator& s, const Values& v) {
             s.Edit([&](DeviceModel& m) { m.inches = static_cast<uint8_t>(v[0].integer); });
             return Ok();
         }},
        {"touches", {Integer("N", 0, 255)}, false, "touch points",
         [](Simulator& s, const Values& v) {
             s.Edit([&](DeviceModel& m) { m.touches = static_cast<uint8_t>(v[0].integer); });
             return Ok();
         }},
        {"runmode", {Integer("N", 2, 3)}, false, "3 running, 2 hardware mode",
         [](Simulator& s, const Values& v) {
             s.Edit([&](DeviceModel& m) { m.runMode = static_cast<uint8_t>(v[0].integer); });
             return Ok();
         }},
        {"down", {FingerId(), Coordinate("X"), Coordinate("Y")}, true, "finger ID touches at X, Y",
         [](Simulator& s, const Values& v) {
             return s.FingerDown(static_cast<int>(v[0].integer), v[1].number, v[2].number), Ok();
         }},
        {"move", {FingerId(), Coordinate("X"), Coordinate("Y")}, true, "finger ID (down) moves to X, Y",
         [](Simulator& s, const Values& v) {
             if (!s.FingerMove(static_cast<int>(v[0].integer), v[1].number, v[2].number))
                 return Error("move: finger " + v[0].text + " is not down");
             return Ok();
         }},
        {"up", {FingerId()}, true, "finger ID (down) lifts",
         [](Simulator& s, const Values& v) {
             if (!s.FingerUp(static_cast<int>(v[0].integer))) return Error("up: finger " + v[0].text + " is not down");
             return Ok();
         }},
        {"tap", {Coordinate("X"), Coordinate("Y")}, true, "a finger down at X, Y for a few packets, then lifted",
         [](Simulator& s, const Values& v) { return s.Tap(v[0].number, v[1].number), Ok(); }},
        {"dtap", {Coordinate("X"), Coordinate("Y")}, true,
         "a tap at display position X, Y: what the mounted frame and the calibration in force report",
         [](Simulator& s, const Values& v) { return s.DisplayTap(v[0].number, v[1].number), Ok(); }},
        {"ddown", {FingerId(), Coordinate("X"), Coordinate("Y")}, true,
         "finger ID touches at display position X, Y (as dtap maps it)",
         [](Simulator& s, const Values& v) {
             return s.DisplayDown(static_cast<int>(v[0].integer), v[1].number, v[2].number), Ok();
         }},
        {"mount", {Rest("TURN [mirror] [OX OY SX SY]")}, false,
         "how the frame sits on the display: turn 0|90|180|270, mirrored, raw offset and scale",
         [](Simulator& s, const Values& v) {
             FrameMounting m;
             std::string error;
             if (!ParseMounting(v[0].text, m, error)) return Error("mount: " + error);
             s.Edit([&](DeviceModel& model) { model.mounting = m; });
             return Ok(DescribeMounting(m));
         }},
        {"raw", {Rest("TEXT")}, true, "send TEXT on the touch stream (escapes \\0 \\n \\r \\t \\\\ \\xHH)", SendRaw},
        {"split", {}, true, "send one packet of the current touches in two parts, 50 ms apart",
         [](Simulator& s, const Values&) { return s.SendSplitPacket(), Ok(); }},
        {"setargs", {Choice("6|8")}, true, "values after \"set\": 6 = id x y X Y m, 8 = plus width, height",
         [](Simulator& s, const Values& v) { return s.SetSetArgumentCount(v[0].integer == 0 ? 6 : 8), Ok(); }},
        {"streamclose", {}, true, "close every touch stream connection",
         [](Simulator& s, const Values&) { return s.CloseStreamClients(), Ok(); }},
        {"streamreset", {}, true, "end every touch stream connection with a reset (RST)",
         [](Simulator& s, const Values&) { return s.ResetStreamClients(), Ok(); }},
        {"trace", {}, false, "list the calls received so far, then 'ok N calls'", ListTrace},
        {"cleartrace", {}, false, "forget the calls received so far",
         [](Simulator& s, const Values&) { return s.ClearTrace(), Ok(); }},
        {"clients", {}, false, "'ok rpc=N stream=N': the open RPC and stream connections",
         [](Simulator& s, const Values&) {
             return Ok("rpc=" + std::to_string(s.RpcClients()) + " stream=" + std::to_string(s.StreamClients()));
         }},
        {"help", {}, false, "this list, then 'ok'", Help},
        {"quit", {}, false, "answer 'ok bye' and stop the service",
         [](Simulator&, const Values&) { return CommandResult{true, true, "ok bye\n"}; }},
    };
    return table;
}

std::string Usage(const Command& c) {
    std::string usage = c.name;
    for (const Parameter& a : c.args) usage += std::string(" ") + a.name;
    return usage;
}

std::string RangeText(const Parameter& a) {
    switch (a.kind) {
    case ArgKind::Integer: return std::to_string(a.min) + ".." + std::to_string(a.max);
    case ArgKind::Coordinate: return "0..1";
    case ArgKind::Choice: {
        std::string words = a.name;
        std::string text;
        for (size_t bar; (bar = words.find('|')) != std::string::npos; words.erase(0, bar + 1))
            text += words.substr(0, bar) + " or ";
        return text + words;
    }
    default: return "";
    }
}

bool ParseInteger(const std::string& text, long& out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (errno || *end) return false;
    out = v;
    return true;
}

bool ParseCoordinate(const std::string& text, float& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    float v = std::strtof(text.c_str(), &end);
    if (*end || !std::isfinite(v)) return false;
    out = v;
    return true;
}

// Checks one argument against its parameter; "" when it fits, else the error text.
std::string ParseArgument(const Command& c, const Parameter& a, const std::string& text, Value& out) {
    out.text = text;
    const std::string bad = std::string(c.name) + ": " + a.name + " '" + text + "' ";
    switch (a.kind) {
    case ArgKind::Integer:
        if (!ParseInteger(text, out.integer)) return bad + "is not a whole number (" + RangeText(a) + ")";
        if (out.integer < a.min || out.integer > a.max) return bad + "is out of range " + RangeText(a);
        return "";
    case ArgKind::Coordinate:
        if (!ParseCoordinate(text, out.number)) return bad + "is not a number (0..1)";
        if (out.number < 0.0f || out.number > 1.0f) return bad + "is out of range 0..1";
        return "";
    case ArgKind::Choice: {
        std::string words = std::string(a.name) + "|";
        long index = 0;
        for (size_t bar; (bar = words.find('|')) != std::string::npos; words.erase(0, bar + 1), ++index)
            if (words.compare(0, bar, text) == 0 && bar == text.size()) return out.integer = index, "";
        return std::string(c.name) + ": '" + text + "' is not " + RangeText(a);
    }
    case ArgKind::Word:
    case ArgKind::Rest: return "";
    }
    return "";
}

}  // namespace

bool SetDeviceField(DeviceRecords& device, const std::string& field, const std::string& value) {
    long n = 0;
    if (field == "version" && ParseLong(value, 0, 255, n)) return device.versionByte = uint8_t(n), true;
    if (field == "inches" && ParseLong(value, 0, 255, n)) return device.inches = uint8_t(n), true;
    if (field == "touches" && ParseLong(value, 0, 255, n)) return device.touches = uint8_t(n), true;
    if (field == "runmode" && ParseLong(value, 2, 3, n)) return device.runMode = uint8_t(n), true;
    if (field == "mode" && (value == "mouse" || value == "multitouch")) {
        device.deviceConfig.mouseMode = value == "mouse" ? 1 : 0;
        device.deviceConfig.multiTouchMode = value == "mouse" ? 0 : 1;
        return true;
    }
    if (field == "pen" && ParseLong(value, 0, 1, n)) {
        device.multiConfig[2] = DeviceModel::StoredItem(2, uint32_t(n));
        return true;
    }
    if (field == "rightclick" && ParseLong(value, 0, 1, n)) return device.effects.rightClick = uint32_t(n), true;
    if (field == "rclickdelay" && ParseLong(value, 0, 0xFFFFFFFFL, n))
        return device.effects.msRClickDelay = uint32_t(n), true;
    if (field == "dclickdelay" && ParseLong(value, 0, 0xFFFFFFFFL, n))
        return device.effects.msDClickDelay = uint32_t(n), true;
    if (field == "smooth" && ParseLong(value, 0, 0xFFFFFFFFL, n)) return device.effects.smoothValue = uint32_t(n), true;
    return false;
}

const char* CommandHelp() {
    static const std::string help = [] {
        std::string text = "commands (each answers one line: 'ok ...' or 'error: ...'):\n";
        for (const Command& c : Commands()) {
            std::string usage = "  " + Usage(c);
            usage.resize(std::max<size_t>(usage.size() + 1, 28), ' ');
            text += usage + c.help + (c.needsStream ? " [stream]" : "") + "\n";
        }
        text += "  [stream]: not with --no-stream. X, Y: 0..1. MS: milliseconds.\n";
        return text;
    }();
    return help.c_str();
}

bool IsStatusLine(const std::string& line) {
    return line == "ok" || line.compare(0, 3, "ok ") == 0 || line.compare(0, 6, "error:") == 0;
}

bool IsNoCommand(const std::string& line) {
    size_t first = line.find_first_not_of(" \t\r\n");
    return first == std::string::npos || line[first] == '#';
}

bool UnescapeText(const std::string& text, std::string& out) {
    std::string result;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            result += text[i];
            continue;
        }
        if (++i >= text.size()) return false;
        switch (text[i]) {
        case '0': result += '\0'; break;
        case 'n': result += '\n'; break;
        case 'r': result += '\r'; break;
        case 't': result += '\t'; break;
        case '\\': result += '\\'; break;
        case 'x': {
            if (i + 2 >= text.size()) return false;
            std::string hex = text.substr(i + 1, 2);
            if (hex.size() != 2 || !std::isxdigit(static_cast<unsigned char>(hex[0])) ||
                !std::isxdigit(static_cast<unsigned char>(hex[1])))
                return false;
            result += static_cast<char>(std::strtol(hex.c_str(), nullptr, 16));
            i += 2;
            break;
        }
        default: return false;
        }
    }
    out = result;
    return true;
}

CommandResult ExecuteCommand(Simulator& sim, const std::string& rawLine) {
    std::string line = rawLine;
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    if (IsNoCommand(line)) return CommandResult{true, false, ""};
    std::istringstream in(line);
    std::string name;
    in >> name;
    if (name == "exit") name = "quit";

    const Command* command = nullptr;
    for (const Command& c : Commands())
        if (name == c.name) command = &c;
    if (!command) return Error("unknown command '" + name + "' (try help)");

    std::vector<std::string> words;
    if (!command->args.empty() && command->args.back().kind == ArgKind::Rest) {
        // Everything after the command word and one blank, blanks included.
        size_t at = line.find(name) + name.size();
        words.push_back(at < line.size() ? line.substr(at + 1) : std::string());
    } else {
        for (std::string word; in >> word;) words.push_back(word);
    }
    if (words.size() != command->args.size())
        return Error(command->args.empty() ? std::string(command->name) + " takes no arguments"
                                           : "usage: " + Usage(*command));
    if (command->needsStream && !sim.HasStream())
        return Error(std::string(command->name) + ": the touch stream is off (started with --no-stream)");

    Values values(words.size());
    for (size_t i = 0; i < words.size(); ++i) {
        std::string error = ParseArgument(*command, command->args[i], words[i], values[i]);
        if (!error.empty()) return Error(error);
    }
    return command->run(sim, values);
}

}  // namespace touchsim
