#include "touchsim/TuioPacket.h"

#include <cstdio>
#include <cstring>

namespace touchsim {

namespace {

const char kMessageOpen[] = "<MESSAGE NAME=\"/tuio/2Dcur\">";
const char kMessageClose[] = "</MESSAGE>";

// Empty elements carry a blank before "/>", as the real producers write them.
void Argument(std::string& out, const char* type, const std::string& value) {
    out += "<ARGUMENT TYPE=\"";
    out += type;
    out += "\" VALUE=\"";
    out += value;
    out += "\" />";
}

}  // namespace

std::string FormatStreamFloat(float value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.7g", static_cast<double>(value));
    std::string text = buffer;
    if (text.find_first_of(".eEn") == std::string::npos) text += ".0";
    return text;
}

std::string BuildTuioPacket(const std::vector<StreamTouch>& touches, int32_t frameSequence, int setValues) {
    std::string out = "<OSCPACKET ADDRESS=\"127.0.0.1\" PORT=\"3333\" TIME=\"0\">";

    out += kMessageOpen;
    Argument(out, "s", "source");
    Argument(out, "s", "touchsim@127.0.0.1");
    out += kMessageClose;

    out += kMessageOpen;
    Argument(out, "s", "alive");
    for (const StreamTouch& t : touches) Argument(out, "i", std::to_string(t.id));
    out += kMessageClose;

    for (const StreamTouch& t : touches) {
        out += kMessageOpen;
        Argument(out, "s", "set");
        Argument(out, "i", std::to_string(t.id));
        Argument(out, "f", FormatStreamFloat(t.x));
        Argument(out, "f", FormatStreamFloat(t.y));
        // Velocity and acceleration stay 0: the program does not use them.
        for (int i = 3; i < setValues; ++i) Argument(out, "f", FormatStreamFloat(i < 6 ? 0.0f : 0.01f));
        out += kMessageClose;
    }

    out += kMessageOpen;
    Argument(out, "s", "fseq");
    Argument(out, "i", std::to_string(frameSequence));
    out += kMessageClose;

    out += "</OSCPACKET>";
    return out;
}

}  // namespace touchsim
