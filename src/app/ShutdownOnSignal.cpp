#include "app/ShutdownOnSignal.h"

#include <gtk/gtk.h>
#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/evtloop.h>
#include <wx/evtloopsrc.h>
#include <wx/modalhook.h>
#include <wx/timer.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "foundation/VexoLog.h"
#include "gui/EventfulWait.h"
#include "platform/TerminationSignals.h"

using VexoPlatform::TerminationSignals;

namespace {

class SignalShutdown;
SignalShutdown* g_pSignalShutdown = nullptr;

class SignalShutdown : public wxModalDialogHook, public wxEventLoopSourceHandler {
public:
    SignalShutdown() : m_tick(*this) {}

    bool Install() {
        if (!TerminationSignals::Install()) return false;
        m_source.reset(wxEventLoopBase::AddSourceForFD(TerminationSignals::WakeFd(), this, wxEVENT_SOURCE_INPUT));
        if (!m_source) return false;
        Register();
        return true;
    }

    void SetOutermost(wxDialog* window) {
        m_outermost = window;
        m_outermostLoop = nullptr;
    }

    bool EndOverOpen(std::function<void()> finish) {
        if (!m_outermost) return false;
        if (m_endAsked || ShutdownRequested()) return true;  // told once
        m_endAsked = true;
        m_finish = std::move(finish);
        // Each window's end is asked when the one above it has gone; the tick also catches the
        // moment the outermost loop runs again after its opener's code (which may run loops of
        // its own) has returned.
        m_tick.Start(kEndTickMs);
        Advance();
        return true;
    }

    bool Ending() const { return m_endAsked || ShutdownRequested(); }

    // One step of an end: the innermost window over the outermost one is asked to close; on a
    // signal the outermost one too; after a lost device, the user is told in the outermost loop.
    void Advance() {
        if (m_open.empty()) return;  // no window yet, or the main window's loop has ended
        // The message of a lost device is up: only a signal closes it.
        if (m_telling && !ShutdownRequested()) return;
        if (ShutdownRequested() || m_open.back() != m_outermost) {
            CloseInnermost();
            return;
        }
        if (!m_finish) return;
        // Only from the outermost window's own loop: a window closed from a nested one would end
        // that loop instead.
        // Nor inside a wait of a command (for the lock or a reply), which would go on after it.
        if (!m_outermostLoop || wxEventLoopBase::GetActive() != m_outermostLoop || EventfulWaitDepth() > 0) return;
        m_tick.Stop();
        std::function<void()> finish = std::move(m_finish);
        m_finish = nullptr;
        m_mayOpen = true;  // the one message of this end
        m_telling = true;
        finish();
        m_mayOpen = false;
    }

protected:
    int Enter(wxDialog* dialog) override {
        // Nothing new opens once the program is ending; the caller reads a cancel.
        if (Ending() && !m_mayOpen) return wxID_CANCEL;
        m_open.push_back(dialog);
        if (dialog == m_outermost && wxTheApp)
            // The first call handled once the window's loop runs: that loop is the outermost one.
            wxTheApp->CallAfter([] {
                if (g_pSignalShutdown) g_pSignalShutdown->m_outermostLoop = wxEventLoopBase::GetActive();
            });
        return wxID_NONE;
    }

    void Exit(wxDialog* dialog) override {
        m_open.erase(std::remove(m_open.begin(), m_open.end(), dialog), m_open.end());
        m_asked.erase(std::remove(m_asked.begin(), m_asked.end(), dialog), m_asked.end());
        // The opener's code still runs after its dialog's loop (a calibration restores the saved
        // record, for one): the next step is taken once control is back in an event loop.
        if (Ending() && wxTheApp) wxTheApp->CallAfter([] { AdvanceLater(); });
    }

    void OnReadWaiting() override {
        TerminationSignals::Drain();
        if (ShutdownRequested()) Advance();
    }
    void OnWriteWaiting() override {}
    void OnExceptionWaiting() override {}

private:
    // Polls an end that waits for the outermost loop; short, so that the message follows the last
    // window's end without a noticeable pause.
    static constexpr int kEndTickMs = 100;

    class Tick : public wxTimer {
    public:
        explicit Tick(SignalShutdown& owner) : m_owner(owner) {}
        void Notify() override { m_owner.Advance(); }

    private:
        SignalShutdown& m_owner;
    };

    static void AdvanceLater();

    // Asks the innermost open modal window to close, once.
    void CloseInnermost() {
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

    std::unique_ptr<wxEventLoopSource> m_source;
    // Modal windows whose loops run, innermost last, and those already asked to close.
    std::vector<wxDialog*> m_open;
    std::vector<wxDialog*> m_asked;
    wxDialog* m_outermost = nullptr;
    wxEventLoopBase* m_outermostLoop = nullptr;
    bool m_endAsked = false;  // an end over open windows has begun
    bool m_mayOpen = false;   // its message may open
    bool m_telling = false;   // its message has been shown (or is up)
    std::function<void()> m_finish;
    Tick m_tick;
};

// Queued calls may outlive the object: they look it up when they run.
void SignalShutdown::AdvanceLater() {
    if (g_pSignalShutdown) g_pSignalShutdown->Advance();
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

void SetOutermostWindow(wxDialog* window) {
    if (g_pSignalShutdown) g_pSignalShutdown->SetOutermost(window);
}

bool EndOverOpenWindows(std::function<void()> finish) {
    return g_pSignalShutdown && g_pSignalShutdown->EndOverOpen(std::move(finish));
}

bool ProgramEnding() { return g_pSignalShutdown ? g_pSignalShutdown->Ending() : ShutdownRequested(); }
