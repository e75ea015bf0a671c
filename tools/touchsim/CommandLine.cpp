#include "touchsim/CommandLine.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <functional>

#include "touchsim/ControlCommands.h"

namespace touchsim {

namespace {

struct Option {
    const char* name;   // "--port"
    const char* value;  // what the value is called ("N"), nullptr for a switch
    bool serverOnly;    // meaningless for --send, which serves nothing
    const char* help;
    // Applies the value; "" when it fits, else what is wrong with it.
    std::function<std::string(ProgramOptions&, const std::string&)> apply;
};

bool ParseNumber(const std::string& text, long long min, long long max, long long& out) {
    // Digits only: strtoll alone would take "-1" (and wrap it), " 5" or "+5".
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno || *end || v < min || v > max) return false;
    out = v;
    return true;
}

std::string Port(const char* option, const std::string& text, uint16_t& out) {
    long long v = 0;
    if (!ParseNumber(text, 0, 65535, v)) return std::string(option) + ": '" + text + "' is not a port number (0..65535)";
    out = static_cast<uint16_t>(v);
    return "";
}

const std::vector<Option>& Table() {
    static const std::vector<Option> table = {
        {"--port", "N", true, "RPC port on 127.0.0.1 (default 28875; 0 = any free port)",
         [](ProgramOptions& o, const std::string& v) { return Port("--port", v, o.sim.rpcPort); }},
        {"--stream-port", "N", true, "touch stream port on 127.0.0.1 (default 3000; 0 = any free port)",
         [](ProgramOptions& o, const std::string& v) { return Port("--stream-port", v, o.sim.streamPort); }},
        {"--no-stream", nullptr, true, "do not serve the touch stream",
         [](ProgramOptions& o, const std::string&) { return o.sim.stream = false, std::string(); }},
        {"--required-version", "N", true, "configuration version GetProductSeries asks for (default 20)",
         [](ProgramOptions& o, const std::string& v) {
             long long n = 0;
             if (!ParseNumber(v, 0, 0xFFFFFFFFLL, n))
                 return "--required-version: '" + v + "' is not a whole number in 0..4294967295";
             o.withRequiredVersion = true;
             o.requiredVersion = static_cast<uint32_t>(n);
             return std::string();
         }},
        {"--device", "ID[:F=V,...]", true,
         "give device ID records of its own and set fields, as the control command\n"
         "'device ID FIELD VALUE' does (repeatable)",
         [](ProgramOptions& o, const std::string& v) { return o.devices.push_back(v), std::string(); }},
        {"--control-port", "N", false,
         "also take control commands on TCP 127.0.0.1:N (0 = any free port);\nwith --send: the port of the running touchsim",
         [](ProgramOptions& o, const std::string& v) {
             o.withControlPort = true;
             return Port("--control-port", v, o.controlPort);
         }},
        {"--send", "COMMAND", false,
         "send COMMAND to the touchsim on --control-port N, print its reply and exit:\n"
         "0 when every reply is ok, 1 at an error: reply or no answer (repeatable)",
         [](ProgramOptions& o, const std::string& v) { return o.send.push_back(v), std::string(); }},
        {"--help", nullptr, false, "print this text and exit",
         [](ProgramOptions& o, const std::string&) { return o.help = true, std::string(); }},
    };
    return table;
}

}  // namespace

bool ParseCommandLine(int argc, const char* const* argv, ProgramOptions& out, std::string& error) {
    std::string serverOption;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-h") arg = "--help";
        const Option* option = nullptr;
        for (const Option& o : Table())
            if (arg == o.name) option = &o;
        if (!option) {
            const size_t eq = arg.find('=');
            for (const Option& o : Table())
                if (eq != std::string::npos && o.value && arg.compare(0, eq, o.name) == 0) {
                    error = "'" + arg + "': give the value as a separate word (" + o.name + " " + arg.substr(eq + 1) + ")";
                    return false;
                }
            error = arg.compare(0, 1, "-") == 0 ? "unknown option '" + arg + "'" : "unexpected argument '" + arg + "'";
            return false;
        }
        std::string value;
        if (option->value) {
            if (i + 1 >= argc) {
                error = std::string(option->name) + " needs a value (" + option->name + " " + option->value + ")";
                return false;
            }
            value = argv[++i];
        }
        error = option->apply(out, value);
        if (!error.empty()) return false;
        if (option->serverOnly && serverOption.empty()) serverOption = option->name;
    }
    if (out.help) return true;
    if (!out.send.empty()) {
        if (!serverOption.empty()) {
            error = "--send talks to a running touchsim; " + serverOption + " does not go with it";
            return false;
        }
        if (!out.withControlPort || out.controlPort == 0) {
            error = "--send needs the control port of a running touchsim (--control-port N, N > 0)";
            return false;
        }
    }
    return true;
}

std::string ProgramHelp() {
    std::string text =
        "usage: touchsim [--port N] [--stream-port N] [--no-stream] [--required-version N] [--control-port N]\n"
        "                [--device ID[:FIELD=VALUE,...]]...\n"
        "       touchsim --control-port N --send COMMAND [--send COMMAND ...]\n"
        "\n"
        "The simulated touch service: answers the configuration program's RPC calls on 127.0.0.1,\n"
        "publishes a touch stream, prints one line per call received, and takes control commands on\n"
        "standard input (and on the control port). It stops on 'quit', SIGINT, SIGTERM or SIGHUP, not\n"
        "at the end of standard input.\n"
        "\n"
        "options:\n";
    for (const Option& o : Table()) {
        std::string usage = std::string("  ") + o.name + (o.value ? std::string(" ") + o.value : std::string());
        usage.resize(std::max<size_t>(usage.size() + 1, 24), ' ');
        std::string help = o.help;
        for (size_t nl = 0; (nl = help.find('\n', nl)) != std::string::npos; nl += 25) help.insert(nl + 1, 24, ' ');
        text += usage + help + "\n";
    }
    text += "\nExit status: 0 after 'quit' or a signal, 1 when a port cannot be opened, 2 on a bad command line.\n\n";
    text += CommandHelp();
    return text;
}

}  // namespace touchsim
