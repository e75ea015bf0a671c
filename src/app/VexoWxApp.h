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

// Process-wide single-instance guard; none outside the program's run.
extern boost::interprocess::named_mutex* g_pInstanceGuard;
