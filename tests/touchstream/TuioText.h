// Builders for touch stream packets in the form real producers send them.
#pragma once

#include <string>
#include <vector>

namespace tuiotext {

inline std::string Arg(const std::string& type, const std::string& value) {
    return "<ARGUMENT TYPE=\"" + type + "\" VALUE=\"" + value + "\" />";
}

// A message of `profile` whose arguments carry `values` in order (the first is the command).
inline std::string Message(const std::vector<std::string>& values, const std::string& profile = "/tuio/2Dcur") {
    std::string text = "<MESSAGE NAME=\"" + profile + "\">";
    for (size_t i = 0; i < values.size(); ++i) text += Arg(i == 0 ? "s" : (i == 1 ? "i" : "f"), values[i]);
    return text + "</MESSAGE>";
}

// A TUIO 1.1 cursor "set": id, x, y and velocity X, Y and acceleration.
inline std::string Set(int id, const std::string& x, const std::string& y) {
    return Message({"set", std::to_string(id), x, y, "0.0", "0.0", "0.0"});
}

inline std::string Alive(const std::vector<int>& ids) {
    std::vector<std::string> values{"alive"};
    for (int id : ids) values.push_back(std::to_string(id));
    return Message(values);
}

inline std::string Fseq(int n) { return Message({"fseq", std::to_string(n)}); }

inline std::string Packet(const std::string& messages) {
    return "<OSCPACKET ADDRESS=\"127.0.0.1\" PORT=\"49173\" TIME=\"1\">" + messages + "</OSCPACKET>";
}

// A packet as it comes over the wire: followed by one NUL byte.
inline std::string Wire(const std::string& packet) { return packet + std::string(1, '\0'); }

// A well-formed packet of exactly `length` characters (padding in an attribute).
inline std::string PacketOfLength(size_t length) {
    const std::string head = "<OSCPACKET PAD=\"";
    const std::string tail = "\">" + Alive({}) + "</OSCPACKET>";
    return head + std::string(length - head.size() - tail.size(), 'p') + tail;
}

}  // namespace tuiotext
