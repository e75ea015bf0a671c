// SIGTERM, SIGINT and SIGHUP (a session's end, Ctrl+C, a closed terminal) turned into a wake-up
// for the GUI thread, which then ends the program the ordinary way.
//
// The handler only records the signal and writes one byte to a pipe, both async-signal-safe;
// everything else happens on the thread that watches the pipe's read end in its event loop.
// Process-wide, like the signal dispositions it sets.
#pragma once

#include <signal.h>

namespace VexoPlatform {

class TerminationSignals {
public:
    // Opens the pipe and catches the three signals; SIGPIPE is ignored meanwhile, so that a log
    // reader that went away (a pipeline ended by the same Ctrl+C) gives a failed write instead of
    // ending the program before it has shut down. True when installed (also when it already was).
    static bool Install();
    // Restores the previous dispositions and closes the pipe. What was received stays readable.
    static void Uninstall();
    static bool Installed();

    // The pipe's read end (non-blocking), readable once a signal has arrived; -1 when not installed.
    static int WakeFd();
    // Empties the pipe (the watching thread, when WakeFd is readable).
    static void Drain();
    // The first of the three signals received (0 none). Any thread, also in a handler.
    static int Received();
    // Blocks the calling thread until one of the signals has arrived (at once when one has). False
    // when it cannot wait (not installed yet). A thread that calls it must block the signals.
    static bool WaitForFirst();
    // Forgets the received signal (tests).
    static void Reset();

    // The three signals, e.g. for threads that leave them to the GUI thread.
    static void SignalSet(sigset_t* set);
};

// Blocks the three signals on the calling thread while it lives, restoring the mask after; a thread
// created meanwhile inherits the blocked mask (workers leave the signals to the GUI thread, and a
// signal can then never cut short a worker's wait).
class ScopedTerminationSignalBlock {
public:
    ScopedTerminationSignalBlock();
    ~ScopedTerminationSignalBlock();
    ScopedTerminationSignalBlock(const ScopedTerminationSignalBlock&) = delete;
    ScopedTerminationSignalBlock& operator=(const ScopedTerminationSignalBlock&) = delete;

private:
    sigset_t m_previous;
};

}  // namespace VexoPlatform
