// A client that asks a window whether its program still answers, as a window manager does: a
// _NET_WM_PING client message sent to a window that lists _NET_WM_PING in its WM_PROTOCOLS; the
// toolkit answers by sending the message back to the root window, from its event loop. Without a
// window manager on the display (nobody else redirects the root's client messages), the client
// sees the answer itself.
#pragma once

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <map>
#include <string>

namespace programtest {

class WindowPing {
public:
    using Clock = std::chrono::steady_clock;

    explicit WindowPing(const std::string& display) : m_display(XOpenDisplay(display.c_str())) {
        if (!m_display) return;
        m_protocols = XInternAtom(m_display, "WM_PROTOCOLS", False);
        m_ping = XInternAtom(m_display, "_NET_WM_PING", False);
        XSelectInput(m_display, DefaultRootWindow(m_display), SubstructureNotifyMask);
    }
    ~WindowPing() {
        if (m_display) XCloseDisplay(m_display);
    }
    WindowPing(const WindowPing&) = delete;
    WindowPing& operator=(const WindowPing&) = delete;

    bool Open() const { return m_display != nullptr; }

    // True when window lists _NET_WM_PING among its WM_PROTOCOLS.
    bool Advertises(Window window) {
        Atom* atoms = nullptr;
        int count = 0;
        bool found = false;
        if (XGetWMProtocols(m_display, window, &atoms, &count)) {
            for (int i = 0; i < count; ++i) found = found || atoms[i] == m_ping;
            XFree(atoms);
        }
        return found;
    }

    // Sends a ping numbered serial (its time stamp) to window.
    void Send(Window window, long serial) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = m_protocols;
        event.xclient.format = 32;
        event.xclient.data.l[0] = long(m_ping);
        event.xclient.data.l[1] = serial;
        event.xclient.data.l[2] = long(window);
        XSendEvent(m_display, window, False, NoEventMask, &event);
        XFlush(m_display);
        m_sent[serial] = Clock::now();
    }

    // Takes the answers that have arrived; for each, calls answered(serial, milliseconds).
    template <typename F>
    void Collect(F answered) {
        while (XPending(m_display) > 0) {
            XEvent event;
            XNextEvent(m_display, &event);
            if (event.type != ClientMessage || event.xclient.message_type != m_protocols ||
                Atom(event.xclient.data.l[0]) != m_ping)
                continue;
            const auto it = m_sent.find(event.xclient.data.l[1]);
            if (it == m_sent.end()) continue;
            answered(it->first,
                     std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - it->second).count());
            m_sent.erase(it);
        }
    }

    // The oldest ping still unanswered, in milliseconds since it was sent (0 when none).
    long long OldestUnansweredMs() const {
        if (m_sent.empty()) return 0;
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - m_sent.begin()->second).count();
    }

private:
    Display* m_display;
    Atom m_protocols = None;
    Atom m_ping = None;
    std::map<long, Clock::time_point> m_sent;
};

}  // namespace programtest
