// The application object: start-up with its early ends, the main window's run, and shutdown.
#pragma once

#include <wx/app.h>

namespace boost {
namespace interprocess {
class named_mutex;
}
}  // namespace boost

// Name of the single-instance guard (machine-wide).
constexpr const char* kInstanceGuardName = "wx_quilo_configuration_mutex";

class VexoWxApp : public wxApp {
public:
    bool OnInit() override;
    int OnRun() override;
    int OnExit() override;
};

// The three stages, callable on their own (the toolkit calls them through the application object):
// start-up steps with every early end (true when the main window may run), the main window's
// run (always 0) and shutdown (always 0). GUI thread.
bool AppStartUp();
int AppRunMainWindow();
int AppShutDown();

// Process-wide single-instance guard; none outside the program's run.
extern boost::interprocess::named_mutex* g_pInstanceGuard;
