// The program's main window: a fixed layout of 27 controls showing the chosen device, a worker
// thread (the device watch) and the window's request lock.
//
// Threads: controls are built, read and written on the GUI thread only. The watch thread (Run)
// reads the service into the records below while it holds m_requestLock; the GUI thread shows
// them (OnRefresh) only after taking the same lock, and the watch thread reaches the GUI thread
// only through queued events (PostRefresh, the device-lost report).
#pragma once

#include <wx/combobox.h>
#include <wx/dialog.h>
#include <wx/radiobut.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/timer.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "device/FactoryReset.h"
#include "foundation/VexoThread.h"
#include "foundation/VexoWString.h"
#include "gui/CPWindow.h"
#include "servicelink/ServiceContract.h"

// Carries a finished reading from the watch thread to the GUI thread (integer value 100).
extern const wxEventType RefreshEvent;

class CPMainFrame : public wxDialog, public VexoSource::VexoThread, public CPWindow {
public:
    // Control identifiers of the layout.
    enum {
        ID_APPLY = 10001,
        ID_CANCEL = 10002,
        ID_DONE = 10003,
        ID_CALIBRATION = 10004,
        ID_MANU_SETTING = 10005,
        ID_ADVANCED = 10006,
        ID_MOUSE = 10007,
        ID_MULTITOUCH = 10008,
        ID_PRODUCT_TYPE = 10010,
        ID_TOUCHES = 10011,
        ID_SCREEN_SIZE = 10012,
        ID_FIRMWARE = 10013,
        ID_DEVICE_STATUS = 10014,
        ID_SERVICE_STATUS = 10015,
        ID_DEVICE_CHOICE = 10016,
        ID_UPDATE = 10018,
    };
    static constexpr int32_t kRefreshValue = 100;
    // Lock places of this window's sequences.
    static constexpr uint32_t kWatchPlace = 1;
    static constexpr uint32_t kLoadPlace = 2;
    static constexpr uint32_t kRefreshPlace = 11;
    static constexpr uint32_t kChoicePlace = 14;
    // How soon a device choice made during a sequence is tried again.
    static constexpr int kChoiceRetryMs = 50;

    CPMainFrame();
    ~CPMainFrame() override;

    // Builds and labels the controls, reads the service and, when that worked, starts the watch.
    // Returns the running flag.
    int32_t Initialize() override;
    // Stops the watch thread.
    void Release() override;
    // Writes the touch mode from the radio buttons (with the request lock held); 0 when the
    // device configuration could not be read whole or written.
    int32_t WriteSettings(const VexoSource::DeviceHandle& device) override;
    // GUI thread, with the request lock held (between sequences): adopts a device choice that
    // waited for the last sequence, then gives the chosen device.
    VexoSource::DeviceHandle Device() override;
    // Start-up reading and version checks; 1 on success.
    int32_t LoadFromService() override;

    // The device watch loop, on the window's own thread.
    void Run() override;

    // Reading (watch thread with the request lock held, or GUI thread during start-up).
    int32_t ReadDeviceList(const VexoSource::DeviceHandle& device);
    int32_t ReadDeviceState(const VexoSource::DeviceHandle& device);
    // Showing (GUI thread).
    int32_t SyncDeviceChoice();
    int32_t RefreshDisplay();
    // Any thread: queues a RefreshEvent for the GUI thread.
    void PostRefresh();
    // GUI thread: adopts a device identifier as the target of the sequences that start from now on.
    void SelectDevice(const std::string& identifier);
    // GUI thread: the user chose identifier in the device choice. Adopted at once between
    // sequences; while one runs (a watch pass) the choice waits for its end, so that no sequence
    // ends on another frame than it began on and no reading of one frame shows as another's.
    void ChooseFromList(const std::string& identifier);
    // GUI thread: adopts the waiting choice when the request lock is free, else tries again soon.
    void AdoptWaitingChoice();
    bool ChoiceWaiting() const { return m_choiceWaiting; }
    // Any thread: hides the window, shows the message when show is set, closes the window. Always
    // carried out on the GUI thread, in that order.
    void ReportDeviceLost(const wxString& message, const wxString& caption, bool show);
    // Compares the display orientation with the service's and rewrites it on a change (watch thread,
    // request lock held).
    void WatchOrientation(const VexoSource::DeviceHandle& device);
    // GUI thread: tells the watch which display the window is on now.
    void PublishFrameDisplay();
    // Watch thread: has the GUI thread say it again and waits briefly for the answer.
    void AskFrameDisplay();

    // The commands of the window's controls (GUI thread).
    void OnCommand(wxCommandEvent& event);
    // The calibration button: linearity check, access check, the calibration dialog (GUI thread).
    void RunCalibration();
    void OnRefresh(wxCommandEvent& event);

    int32_t Running() const { return m_running; }

    // Records (see the class comment for who writes them).
    VexoSource::DeviceInfoRecord m_startInfo{};
    // Working copies of the mode write (its configuration) and the reset to manufacturer settings.
    VexoSource::FactoryRecords m_records;
    int32_t m_running = 0;
    uint32_t m_lastOrientationCheck = 0;  // watch thread
    bool m_orientationNeverChecked = true; // watch thread: the first pass checks at once
    bool m_orientationFailureLogged = false;  // watch thread: an unreadable display is said once
    std::string m_orientationOutput;          // watch thread: the output read last, to say a change

    // Controls, in the order of creation (Cancel, Apply and Done live in CPWindow).
    wxStaticBox* m_pSettingBox = nullptr;
    wxStaticText* m_pModeText = nullptr;
    wxRadioButton* m_pMultiTouch = nullptr;
    wxRadioButton* m_pMouse = nullptr;
    wxButton* m_pCalibration = nullptr;
    wxButton* m_pAdvanced = nullptr;
    wxButton* m_pManuSetting = nullptr;
    wxStaticBox* m_pInfoBox = nullptr;
    wxStaticText* m_pCurrentDeviceText = nullptr;
    wxStaticText* m_pProductTypeText = nullptr;
    wxStaticText* m_pTouchesText = nullptr;
    wxStaticText* m_pLcdTypeText = nullptr;
    wxStaticText* m_pChipVersionText = nullptr;
    wxStaticText* m_pDeviceStatusText = nullptr;
    wxStaticText* m_pServiceStatusText = nullptr;
    wxTextCtrl* m_pProductType = nullptr;
    wxTextCtrl* m_pTouches = nullptr;
    wxTextCtrl* m_pScreenSize = nullptr;
    wxTextCtrl* m_pFirmware = nullptr;
    wxTextCtrl* m_pDeviceStatus = nullptr;
    wxTextCtrl* m_pServiceStatus = nullptr;
    wxStaticText* m_pBrand = nullptr;
    wxComboBox* m_pDeviceChoice = nullptr;
    wxButton* m_pUpdate = nullptr;

    // Last readings (watch thread under the request lock; GUI thread after taking it).
    VexoSource::DeviceInfoRecord m_currentInfo{};
    uint8_t m_runtimeStatus[VexoSource::kRuntimeStatusLength] = {};
    VexoSource::DeviceConfigRecord m_currentConfig{};
    // The selector the last reading's requests carried (its pass's handle).
    uint32_t m_readingSelector = 0;

private:
    // Has every move, resize and showing of the window say its display again (GUI thread).
    void TrackFrameDisplay();
    void BuildControls();
    void LabelControls();
    // Tab order, caption links, names and access keys (CPMainFrameAccess.cpp); after the labels.
    void MakeAccessible();
    wxTextCtrl* AddField(int id, int x, int y, int w, int h);
    void ShowDeviceLost(const wxString& message, const wxString& caption, bool show);
    // Watch thread, after a pass lost the connection to the service: connects again until the
    // service answers or kServiceReturnMs have passed (or a stop is requested). 1 when it is back.
    int32_t AwaitServiceReturn();
    // Watch thread: waits for the request lock, polling so that a stop is seen at once, and while a
    // command holds it checks that the service is still there.
    enum class WatchLockWait { Taken, Stopped, DeviceLost, ServiceGone };
    struct WorkerHoldMark {
        std::atomic<bool>& mark;
        ~WorkerHoldMark() { mark = false; }
    };
    WatchLockWait AwaitWatchLock(std::unique_ptr<RequestLock>& lock);
    // Watch thread: has the GUI thread tell the user and end (the service's loss or the device's).
    void ReportLoss(bool serviceGone);
    // How often the watch looks at the lock while a command holds it.
    static constexpr uint32_t kWatchLockPollMs = 20;

    std::vector<VexoSource::VexoWString> m_deviceList;
    // GUI thread: a device choice that waits for the sequence under way.
    std::string m_waitingChoice;
    bool m_choiceWaiting = false;
    wxTimer m_choiceTimer;

    DECLARE_EVENT_TABLE()
};
