// The wire records are packed, so their fields can sit at any address. GoogleTest's assertions take
// their arguments by reference, and a reference to a misaligned field is undefined behaviour (the
// UB sanitizer stops on it): assertions read such fields through Value(), which copies them.
#pragma once

template <class T>
T Value(T v) {
    return v;
}
