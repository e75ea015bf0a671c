// One touch of the live touch stream, as a cursor "set" message carries it.
#pragma once

#include <cstdint>

namespace VexoSource {

// A plain record copied by value; the touch set keeps these in blocks.
struct VexoTUIOTouch_Ele {
    int32_t id = 0;         // the first value after "set"; names the touch while it lasts
    float x = 0.0f;         // 0..1 across the screen
    float y = 0.0f;         // 0..1 down the screen
    float extra[5] = {};    // the fourth to eighth values (velocities, acceleration, size); carried only
};

}  // namespace VexoSource
