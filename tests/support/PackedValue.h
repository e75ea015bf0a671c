// The wire records are packed, so their fields can sit at any address. GoogleTest's assertions take
// their arguments by reference, and a reference to a misaligned field is undefined behaviour (the
// UB sanitizer stops on it): assertions read such fields through Value(), which copies them.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

template <class T>
T Value(T v) {
    return v;
}

// A record's bytes, as they go over the wire: what a test compares a sent payload with.
template <typename R>
std::vector<uint8_t> BytesOf(const R& record) {
    const auto* p = reinterpret_cast<const uint8_t*>(&record);
    return std::vector<uint8_t>(p, p + sizeof record);
}

// A float's bit pattern: compares stored floats exactly (and without NaN's inequality).
inline uint32_t BitsOf(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}
