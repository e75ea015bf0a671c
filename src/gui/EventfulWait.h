// Waits of the GUI thread that keep its event loop running: the windows repaint, timers run and
// the window manager's ping is answered while a command waits for the window's lock or for a
// reply of the service. Input waits: every control of the program's windows is insensitive
// meanwhile (the windows keep the keyboard focus) and the pointer shows that the program is busy,
// so no second command can start in the middle.
// GUI thread only.
#pragma once

#include <cstdint>
#include <functional>

// Runs the event loop until done() holds (true), giveUp() holds or the monotonic clock reaches
// deadlineMs (0: no deadline) (false). Without a running event loop it sleeps in short steps.
bool WaitWithEventsRunning(const std::function<bool()>& done, uint64_t deadlineMs,
                           const std::function<bool()>& giveUp = {});
// How many such waits run now (nested ones count each): code that must not run inside one (the
// end of the program) waits until it is 0.
int EventfulWaitDepth();
// From now on the calling (GUI) thread waits for the service's replies, and for its turn while
// another thread's call is in flight, with its event loop running; a reply that comes within a
// moment is waited for quietly, without the busy signs.
void WaitForRepliesWithEventsRunning();
