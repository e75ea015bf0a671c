#include "platform/WakeEvent.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace VexoPlatform {

WakeEvent::WakeEvent() : m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

WakeEvent::~WakeEvent() {
    if (m_fd >= 0) ::close(m_fd);
}

void WakeEvent::Set() {
    if (m_fd < 0) return;
    const uint64_t one = 1;
    while (::write(m_fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void WakeEvent::Clear() {
    if (m_fd < 0) return;
    uint64_t value = 0;
    while (::read(m_fd, &value, sizeof value) < 0 && errno == EINTR) {
    }
}

}  // namespace VexoPlatform
