#include "touchsim/ControlCommands.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <vector>

namespace touchsim {

namespace {

const char kHelp[] =
    "commands:\n"
    "  unplug | plug              stop / resume answering RPC calls (calls are still traced)\n"
    "  silent on|off              same switch as a separate fault: read calls, send nothing\n"
    "  busy on|off                GetAccessState answers 0 while on\n"
    "  busyreset MS               GetAccessState answers 0 for MS after each ResetDevice\n"
    "  close | reset              close every RPC connection / end each with a reset (RST)\n"
    "  refuse on|off              refuse new RPC connections (open ones stay) / accept again\n"
    "  streamclose | streamreset  the same for every touch stream connection\n"
    "  delay MS                   delay each reply by MS (0 = off)\n"
    "  oversize | twenty          next reply 2 bytes longer than expected / with no payload\n"
    "  cutnext REQ N              the next reply to request REQ (name or code) keeps N bytes\n"
    "  dropnext REQ               the next call of request REQ gets no reply\n"
    "  delaynext REQ MS           the next reply to request REQ comes MS late\n"
    "  garbage | callframe        send a garbage frame / a call frame to every RPC client now\n"
    "  ids ID[:ID...] | ids -     device list (16 hex digits each; '-' = none)\n"
    "  required N | version N | inches N | touches N | runmode 2|3   device description\n"
    "  device ID [FIELD VALUE]    give device ID records of its own (listing it), and set one:\n"
    "                             version|inches|touches N, runmode 2|3, mode mouse|multitouch,\n"
    "                             pen 0|1, rightclick 0|1, rclickdelay|dclickdelay MS, smooth N\n"
    "  down ID X Y | move ID X Y | up ID | tap X Y                   touches (X, Y in 0..1)\n"
    "  raw TEXT                   send TEXT on the touch stream (escapes \\0 \\n \\r \\t \\\\ \\xHH)\n"
    "  split                      send one packet of the current touches in two parts\n"
    "  setargs 6|8                values after \"set\" in stream packets\n"
    "  trace | cleartrace         print / forget the calls received so far\n"
    "  clients                    number of RPC and stream clients\n"
    "  help | quit\n";

bool ParseLong(const std::string& text, long min, long max, long& out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (errno || *end || v < min || v > max) return false;
    out = v;
    return true;
}

bool ParseFloat(const std::string& text, float& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    float v = std::strtof(text.c_str(), &end);
    if (*end || !std::isfinite(v)) return false;
    out = v;
    return true;
}

bool ParseSwitch(const std::string& text, bool& out) {
    if (text == "on") return out = true, true;
    if (text == "off") return out = false, true;
    return false;
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

namespace {

CommandResult Error(const std::string& text) { return CommandResult{false, false, "error: " + text + "\n"}; }
CommandResult Ok(const std::string& text = "ok") { return CommandResult{true, false, text + "\n"}; }

}  // namespace

const char* CommandHelp() { return kHelp; }

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
    std::istringstream in(line);
    std::string command;
    in >> command;
    std::vector<std::string> args;
    for (std::string word; in >> word;) args.push_back(word);
    auto argc = [&](size_t n) { return args.size() == n; };

    if (command.empty() || command[0] == '#') return CommandResult{true, false, ""};
    if (command == "help") return CommandResult{true, false, kHelp};
    if (command == "quit" || command == "exit") return CommandResult{true, true, "bye\n"};

    if (command == "raw") {
        // Everything after "raw " verbatim, blanks included.
        size_t at = line.find("raw") + 3;
        std::string text = at < line.size() ? line.substr(at + 1) : std::string();
        std::string bytes;
        if (!UnescapeText(text, bytes)) return Error("raw: broken escape");
        sim.SendRawStream(bytes);
        return Ok("ok raw " + std::to_string(bytes.size()) + " bytes");
    }

    bool on = false;
    long n = 0;
    float x = 0, y = 0;
    if (command == "unplug" && argc(0)) return sim.Unplug(), Ok();
    if (command == "plug" && argc(0)) return sim.Plug(), Ok();
    if (command == "silent" && argc(1) && ParseSwitch(args[0], on)) return sim.SetAnswering(!on), Ok();
    if (command == "busy" && argc(1) && ParseSwitch(args[0], on)) return sim.SetBusy(on), Ok();
    if (command == "busyreset" && argc(1) && ParseLong(args[0], 0, 600000, n))
        return sim.SetBusyAfterReset(static_cast<int>(n)), Ok();
    if (command == "refuse" && argc(1) && ParseSwitch(args[0], on)) return sim.RefuseConnections(on), Ok();
    if (command == "close" && argc(0)) return sim.CloseClients(), Ok();
    if (command == "reset" && argc(0)) return sim.ResetClients(), Ok();
    if (command == "streamclose" && argc(0)) return sim.CloseStreamClients(), Ok();
    if (command == "streamreset" && argc(0)) return sim.ResetStreamClients(), Ok();
    if (command == "delay" && argc(1) && ParseLong(args[0], 0, 600000, n))
        return sim.SetReplyDelayMs(static_cast<int>(n)), Ok();
    if (command == "oversize" && argc(0)) return sim.SendOversizedNextReply(), Ok();
    if (command == "twenty" && argc(0)) return sim.SendTwentyByteNextReply(), Ok();
    uint32_t code = 0;
    if (command == "cutnext" && argc(2) && ParseRequest(args[0], code) && ParseLong(args[1], 0, 2028, n))
        return sim.CutNextReply(code, static_cast<size_t>(n)), Ok();
    if (command == "dropnext" && argc(1) && ParseRequest(args[0], code)) return sim.DropNextReply(code), Ok();
    if (command == "delaynext" && argc(2) && ParseRequest(args[0], code) && ParseLong(args[1], 0, 600000, n))
        return sim.DelayNextReply(code, static_cast<int>(n)), Ok();
    if (command == "garbage" && argc(0)) return sim.SendGarbageFrame(), Ok();
    if (command == "callframe" && argc(0)) return sim.SendCallFrame(), Ok();

    if (command == "ids" && argc(1)) {
        std::vector<std::string> ids;
        if (args[0] != "-") {
            std::string id;
            std::istringstream list(args[0]);
            while (std::getline(list, id, ':')) {
                if (!IsDeviceId(id)) return Error("ids: '" + id + "' is not 16 hexadecimal digits");
                ids.push_back(id);
            }
        }
        sim.Edit([&](DeviceModel& m) { m.deviceIds = ids; });
        return Ok();
    }
    if (command == "device" && (argc(1) || argc(3))) {
        if (!IsDeviceId(args[0])) return Error("device: '" + args[0] + "' is not 16 hexadecimal digits");
        bool set = true;
        sim.Edit([&](DeviceModel& m) {
            // Checked on a copy first, so that a bad field changes nothing.
            DeviceRecords probe;
            if (argc(3) && !SetDeviceField(probe, args[1], args[2])) {
                set = false;
                return;
            }
            DeviceRecords& own = m.OwnRecords(args[0]);
            if (argc(3)) SetDeviceField(own, args[1], args[2]);
        });
        return set ? Ok() : Error("device: bad field '" + args[1] + " " + args[2] + "'");
    }
    if (command == "required" && argc(1) && ParseLong(args[0], 0, 0xFFFFFFFFL, n))
        return sim.Edit([&](DeviceModel& m) { m.requiredConfigVersion = static_cast<uint32_t>(n); }), Ok();
    if (command == "version" && argc(1) && ParseLong(args[0], 0, 255, n))
        return sim.Edit([&](DeviceModel& m) { m.versionByte = static_cast<uint8_t>(n); }), Ok();
    if (command == "inches" && argc(1) && ParseLong(args[0], 0, 255, n))
        return sim.Edit([&](DeviceModel& m) { m.inches = static_cast<uint8_t>(n); }), Ok();
    if (command == "touches" && argc(1) && ParseLong(args[0], 0, 255, n))
        return sim.Edit([&](DeviceModel& m) { m.touches = static_cast<uint8_t>(n); }), Ok();
    if (command == "runmode" && argc(1) && ParseLong(args[0], 2, 3, n))
        return sim.Edit([&](DeviceModel& m) { m.runMode = static_cast<uint8_t>(n); }), Ok();

    long id = 0;
    const long maxId = 0x7FFFFFFF;
    if ((command == "down" || command == "move") && argc(3) && ParseLong(args[0], 0, maxId, id) &&
        ParseFloat(args[1], x) && ParseFloat(args[2], y)) {
        if (command == "down")
            sim.FingerDown(static_cast<int>(id), x, y);
        else
            sim.FingerMove(static_cast<int>(id), x, y);
        return Ok();
    }
    if (command == "up" && argc(1) && ParseLong(args[0], 0, maxId, id)) return sim.FingerUp(static_cast<int>(id)), Ok();
    if (command == "tap" && argc(2) && ParseFloat(args[0], x) && ParseFloat(args[1], y)) return sim.Tap(x, y), Ok();
    if (command == "split" && argc(0)) return sim.SendSplitPacket(), Ok();
    if (command == "setargs" && argc(1) && (args[0] == "6" || args[0] == "8"))
        return sim.SetSetArgumentCount(args[0] == "6" ? 6 : 8), Ok();

    if (command == "trace" && argc(0)) {
        std::string text;
        for (const TraceEntry& e : sim.Trace()) text += e.Line() + "\n";
        return CommandResult{true, false, text + "ok\n"};
    }
    if (command == "cleartrace" && argc(0)) return sim.ClearTrace(), Ok();
    if (command == "clients" && argc(0))
        return Ok("rpc=" + std::to_string(sim.RpcClients()) + " stream=" + std::to_string(sim.StreamClients()));

    return Error("bad command '" + line + "' (try help)");
}

}  // namespace touchsim
