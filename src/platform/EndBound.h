// A last bound on the program's end after a termination signal. The ordinary end runs on the GUI
// thread and can be held up by what is going on there (a request that waits out its bound, a
// calibration putting its record back on a device that no longer answers). The bound's own thread
// waits for the first signal and, when the process still runs ms later, calls beforeExit (which
// may log) and ends the process with status at once. The kernel releases what the process holds,
// the single-instance guard's lock included.
#pragma once

#include <cstdint>

namespace VexoPlatform {

// Starts the bound's thread once TerminationSignals are installed; false when it cannot (no
// thread, signals not installed): the ordinary end alone then counts.
bool StartEndBound(uint32_t ms, int status, void (*beforeExit)(uint32_t ms));
// The ordinary end is complete enough: the bound does nothing any more.
void DisarmEndBound();

}  // namespace VexoPlatform
