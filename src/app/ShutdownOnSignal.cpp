#include "app/ShutdownOnSignal.h"

#include <gtk/gtk.h>
#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/evtloop.h>
#include <wx/evtloopsrc.h>
#include <wx/modalhook.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "foundation/VexoLog.h"
#include "platform/TerminationSignals.h"

using VexoPlatform::TerminationSignals;

namespace {

class SignalShutdown : public wxModalDialogHook, public wxEventLoopSourceHandler {
public:
    bool Install() {
        if (!TerminationSignals::Install()) return false;
        m_source.reset(wxEventLoopBase::AddSourceForFD(TerminationSignals::WakeFd(), this, wxEVENT_SOURCE_INPUT));
        if (!m_source) return false;
        Register();
        return true;
    }

    // Asks the innermost open modal window to close, once.
    void CloseInnermost() {
        if (m_open.empty()) return;  // no window yet, or the main window's loop has ended
        wxDialog* dialog = m_open.back();
        // A second close of a window that is already ending would end a modal loop that no
        // longer runs.
        if (std::find(m_asked.begin(), m_asked.end(), dialog) != m_asked.end()) return;
        m_asked.push_back(dialog);
        GtkWidget* widget = dialog->GetHandle();
        if (widget && GTK_IS_DIALOG(widget)) {
            // A native message box runs its own loop that the toolkit cannot end from outside:
            // answer it as its close button would (the box then returns cancel).
            gtk_dialog_response(GTK_DIALOG(widget), GTK_RESPONSE_DELETE_EVENT);
        } else {
            // What the toolkit does on the window manager's close request.
            dialog->Close();
        }
    }

protected:
    int Enter(wxDialog* dialog) override {
        // Nothing new opens once the program is ending; the caller reads a cancel.
        if (ShutdownRequested()) return wxID_CANCEL;
        m_open.push_back(dialog);
        return wxID_NONE;
    }

    void Exit(wxDialog* dialog) override {
        m_open.erase(std::remove(m_open.begin(), m_open.end(), dialog), m_open.end());
        m_asked.erase(std::remove(m_asked.begin(), m_asked.end(), dialog), m_asked.end());
        // The opener's code still runs after its dialog's loop (a calibration restores the saved
        // record, for one): the next window is asked once control is back in an event loop.
        if (ShutdownRequested() && wxTheApp) wxTheApp->CallAfter([] { CloseInnermostLater(); });
    }

    void OnReadWaiting() override {
        TerminationSignals::Drain();
        if (ShutdownRequested()) CloseInnermost();
    }
    void OnWriteWaiting() override {}
    void OnExceptionWaiting() override {}

private:
    static void CloseInnermostLater();

    std::unique_ptr<wxEventLoopSource> m_source;
    // Modal windows whose loops run, innermost last, and those already asked to close.
    std::vector<wxDialog*> m_open;
    std::vector<wxDialog*> m_asked;
};

SignalShutdown* g_pSignalShutdown = nullptr;

// Queued calls may outlive the object: they look it up when they run.
void SignalShutdown::CloseInnermostLater() {
    if (g_pSignalShutdown) g_pSignalShutdown->CloseInnermost();
}

}  // namespace

bool InstallShutdownOnSignal() {
    if (g_pSignalShutdown) return true;
    auto* shutdown = new SignalShutdown;
    if (!shutdown->Install()) {
        delete shutdown;
        // Caught but never acted on, the signals could not end the program at all.
        TerminationSignals::Uninstall();
        VexoLogException(L"SIGTERM, SIGINT and SIGHUP cannot be caught; they end the program at once");
        return false;
    }
    g_pSignalShutdown = shutdown;
    return true;
}

void RemoveShutdownOnSignal() {
    // The hook unregisters itself and the source leaves the loop; the handler stays, and a byte it
    // writes from now on is never read.
    delete g_pSignalShutdown;
    g_pSignalShutdown = nullptr;
}

bool ShutdownRequested() {
    const int signo = TerminationSignals::Received();
    if (signo == 0) return false;
    // Said once, by whichever part of the program notices it first.
    static bool logged = false;
    if (!logged) {
        logged = true;
        VexoLogInfo(L"Signal %d received: closing", signo);
    }
    return true;
}
