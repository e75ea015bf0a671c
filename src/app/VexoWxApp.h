// The application object: start-up with its early ends, the main window's run, and shutdown.
#pragma once

#include <wx/app.h>

#include <string>

#include "platform/InstanceGuard.h"

// Name of the single-instance guard, one per machine (its network namespace), shared with
// qlncfg-cli and every user.
constexpr const char* kInstanceGuardName = VexoPlatform::kProgramGuardName;

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

// The language the command line asked for ("English", "Chinese"; empty: the configuration's). Set
// by main before the toolkit starts; start-up writes it into the configuration at once, so that it
// holds from then on even when this start ends early.
void SetLanguageOption(const std::string& language);

// Process-wide single-instance guard; none outside the program's run.
extern VexoPlatform::InstanceGuard* g_pInstanceGuard;
