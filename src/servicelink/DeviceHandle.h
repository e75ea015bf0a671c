// The device a request sequence addresses. A sequence takes the handle once, at its start, and
// gives it to every request it makes: the user may choose another frame while a sequence waits
// (for a reply, for the device's reset, in a dialog's event loop), and no request of that sequence
// may then reach the other frame.
#pragma once

#include <cstdint>

namespace VexoSource {

class DeviceHandle {
public:
    explicit constexpr DeviceHandle(uint32_t selector) : m_selector(selector) {}
    // The first field of every request head of the sequence.
    constexpr uint32_t Selector() const { return m_selector; }

private:
    uint32_t m_selector;
};

// The device chosen now, fixed for the sequence that takes it (read under the selector lock).
DeviceHandle ChosenDevice();
// Makes selector the device of every sequence that starts from now on.
void ChooseDevice(uint32_t selector);

}  // namespace VexoSource
