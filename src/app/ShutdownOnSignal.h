// The program's end on SIGTERM, SIGINT and SIGHUP (a session's end, Ctrl+C, a closed terminal):
// the same end as closing the main window without saving changes.
//
// The platform layer's handler only writes a byte to a pipe; the toolkit's main loop (a GLib watch
// on the default context, which also runs inside every modal loop and native message box) wakes
// the GUI thread, and from then on:
// - the innermost open modal window is asked to close, as the window manager's close button
//   would ask it; when its modal loop has ended and its opener's code has run, the next one is
//   asked, up to the main window (so the calibration puts the saved record back, the timed box
//   counts as not confirmed, nothing unapplied is written);
// - a modal window that would open from then on (a message box, the main window itself during
//   start-up) returns at once as cancelled, without being shown;
// - once the main window's loop has ended, the ordinary shutdown follows: threads stopped, the
//   configuration written back, the single-instance guard released, exit status 0.
//
// The same machinery ends the program when the device is lost or the service is gone for good,
// whichever loop runs when the watch says so (EndOverOpenWindows): the windows over the main
// window close as on a signal, and the user is told once the main window's own loop runs again.
// Telling from inside a nested loop would close the main window there, which ends the innermost
// loop instead of the main window's and leaves a process without a window.
// GUI thread only.
#pragma once

#include <functional>

class wxDialog;

// Catches the signals and starts watching for them; once the toolkit runs, before start-up.
// False (logged) when the signals cannot be caught: they then end the program as by default.
bool InstallShutdownOnSignal();
// Stops acting on signals (the dialogs' hook and the watch go). A signal that arrives later is
// still caught and ignored, so that the rest of the program's end is not cut short.
void RemoveShutdownOnSignal();
// True once one of the signals has arrived (it may not have been acted on yet); the first time,
// it logs "Signal N received: closing".
bool ShutdownRequested();

// The window whose modal loop is the program's outermost one (the main window), before its
// ShowModal; nullptr once that loop has ended.
void SetOutermostWindow(wxDialog* window);
// The device is lost or the service gone (GUI thread, from whatever loop runs): every modal window
// over the outermost one is asked to close, innermost first, as on a signal; windows that would
// open from then on return cancelled; once the outermost window's own loop runs again, finish runs
// there, once (it tells the user and closes that window). True when taken up, also when an end is
// already under way (finish is then dropped: the user is told once); false when no outermost
// window is set or the signals' machinery is not installed: the caller then acts itself.
bool EndOverOpenWindows(std::function<void()> finish);
// True once a signal has arrived or an end over open windows has begun: waits give up.
bool ProgramEnding();
