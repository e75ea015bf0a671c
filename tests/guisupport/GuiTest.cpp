#include "guisupport/GuiTest.h"

#include <wx/app.h>
#include <wx/timer.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "foundation/VexoLog.h"
#include "gui/MessageBox.h"
#include "platform/DebugOutput.h"
#include "servicelink/VexoRPC.h"
#include "support/Elapsed.h"

// Last: Xlib's macros (None, Status, ...) must not meet the toolkit's headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace guitest {

ScreenLock::ScreenLock() {
    std::string name = "/tmp/qln-gui-screen";
    for (const char* c = getenv("DISPLAY"); c && *c; ++c) name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    fd_ = open((name + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ >= 0 && flock(fd_, LOCK_EX) != 0) {
        close(fd_);
        fd_ = -1;
    }
}

ScreenLock::~ScreenLock() {
    if (fd_ >= 0) close(fd_);
}

// Real time, whatever clock a test installed for the program: these bound the test itself.
void Pump(int ms) {
    const testsupport::Clock::time_point start = testsupport::Clock::now();
    do {
        wxTheApp->ProcessPendingEvents();
        wxYield();
        wxTheApp->ProcessIdle();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } while (testsupport::MsSince(start) < ms);
}

bool WaitUntil(const std::function<bool()>& predicate, int timeoutMs) {
    const testsupport::Clock::time_point start = testsupport::Clock::now();
    while (!predicate()) {
        if (testsupport::MsSince(start) >= timeoutMs) return predicate();
        Pump(10);
    }
    return true;
}

void Click(wxButton* button) {
    auto* event = new wxCommandEvent(wxEVT_BUTTON, button->GetId());
    event->SetEventObject(button);
    button->GetEventHandler()->QueueEvent(event);
}

void SelectRadio(wxRadioButton* radio) {
    radio->SetValue(true);
    auto* event = new wxCommandEvent(wxEVT_RADIOBUTTON, radio->GetId());
    event->SetEventObject(radio);
    event->SetInt(1);
    radio->GetEventHandler()->QueueEvent(event);
}

void SelectComboItem(wxComboBox* combo, int index) {
    combo->SetSelection(index);
    auto* event = new wxCommandEvent(wxEVT_COMBOBOX, combo->GetId());
    event->SetEventObject(combo);
    event->SetInt(index);
    event->SetString(combo->GetString(index));
    combo->GetEventHandler()->QueueEvent(event);
}

namespace {
// A one-shot timer that deletes itself after running its function.
class LaterTimer : public wxTimer {
public:
    explicit LaterTimer(std::function<void()> fn) : fn_(std::move(fn)) {}
    void Notify() override {
        auto fn = std::move(fn_);
        // Deleting a timer from its own Notify is allowed once it is stopped; do it after fn so
        // that fn may run a nested modal loop.
        fn();
        delete this;
    }

private:
    std::function<void()> fn_;
};
}  // namespace

void RunLater(int ms, std::function<void()> fn) {
    auto* timer = new LaterTimer(std::move(fn));
    timer->StartOnce(ms > 0 ? ms : 1);
}

void EndModalLater(wxDialog* dialog, int ms, int code) {
    RunLater(ms, [dialog, code] {
        if (dialog->IsModal()) dialog->EndModal(code);
    });
}

wxWindow* ChildAt(wxWindow* parent, const wxPoint& position) {
    for (wxWindow* child : parent->GetChildren())
        if (child->GetPosition() == position) return child;
    return nullptr;
}

std::string ToUtf8(const wxString& text) {
    const wxScopedCharBuffer bytes = text.utf8_str();
    return std::string(bytes.data(), bytes.length());
}

wxString FromUtf8(const std::string& text) { return wxString::FromUTF8(text.data(), text.size()); }

MessageBoxes::MessageBoxes() {
    SetMessageBoxHandler([this](const wxString& text, const wxString& caption, long style) {
        ShownBox box{ToUtf8(text), ToUtf8(caption), style};
        shown_.push_back(box);
        if (onShow_) onShow_(box);
        if (!answers_.empty()) {
            const int answer = answers_.front();
            answers_.pop_front();
            return answer;
        }
        return (style & wxYES_NO) ? static_cast<int>(wxNO) : static_cast<int>(wxOK);
    });
}

MessageBoxes::~MessageBoxes() { SetMessageBoxHandler(nullptr); }

std::vector<std::string> MessageBoxes::Texts() const {
    std::vector<std::string> texts;
    for (const ShownBox& b : shown_) texts.push_back(b.text);
    return texts;
}

SimService::SimService(bool openChannel, touchsim::DeviceModel model) {
    sim_.SetModel(model);
    started_ = sim_.Start();
    if (started_ && openChannel) started_ = VexoSource::OpenServiceChannelAt("127.0.0.1", sim_.RpcPort());
}

SimService::~SimService() {
    VexoSource::CloseServiceChannel();
    sim_.Stop();
}

std::vector<std::string> SimService::CallNames() const {
    std::vector<std::string> names;
    for (const touchsim::TraceEntry& e : const_cast<touchsim::Simulator&>(sim_).Trace()) names.push_back(e.name);
    return names;
}

std::vector<touchsim::TraceEntry> SimService::Calls(const std::string& name) const {
    std::vector<touchsim::TraceEntry> calls;
    for (const touchsim::TraceEntry& e : const_cast<touchsim::Simulator&>(sim_).Trace())
        if (e.name == name) calls.push_back(e);
    return calls;
}

bool WindowManagerRunning() {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const bool running = XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, XA_WINDOW, &type,
                                            &format, &count, &after, &data) == Success &&
                         count == 1;
    if (data) XFree(data);
    XCloseDisplay(display);
    return running;
}

}  // namespace guitest

