// Builds the touch stream's text packets: TUIO "/tuio/2Dcur" messages wrapped in XML, the way
// TUIO-to-XML relays write them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace touchsim {

struct StreamTouch {
    int id = 0;
    float x = 0, y = 0;  // normalised 0..1
};

// One packet without its trailing NUL. `setValues` is the number of values after "set":
// 6 = id x y X Y m (the TUIO 1.1 cursor) or 8 = the same plus width and height.
std::string BuildTuioPacket(const std::vector<StreamTouch>& touches, int32_t frameSequence, int setValues);

// Float text as relays write it: shortest form that keeps a decimal point ("0.25", "0.0", "1.0").
std::string FormatStreamFloat(float value);

}  // namespace touchsim
