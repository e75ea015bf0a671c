// The request lock taken for a command of the GUI thread. When the window's worker holds it (a
// watch pass, which with a slow service can take many seconds), the command does not block the
// GUI thread: it waits with the event loop running, so that the windows repaint and the window
// manager's ping is answered, shows that it waits (busy cursor, every control of the program's
// windows insensitive) and tells the worker to give the lock up at the end of its current
// sequence. A wait that the program's end overtakes gives up: Owns() is then false and the
// command makes no request.
// GUI thread only.
#pragma once

#include <functional>
#include <memory>

#include "gui/CPWindow.h"

class CommandLock {
public:
    CommandLock(CPWindow& window, uint32_t place);
    ~CommandLock();
    CommandLock(const CommandLock&) = delete;
    CommandLock& operator=(const CommandLock&) = delete;

    bool Owns() const { return m_lock && m_lock->Owns(); }

private:
    std::unique_ptr<RequestLock> m_lock;
};

// What tells a waiting command that the program is ending (the application's signals and lost
// device); none by default. Returns the previous one.
std::function<bool()> SetCommandWaitAbandon(std::function<bool()> abandon);
