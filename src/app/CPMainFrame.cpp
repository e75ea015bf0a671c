// The main window's construction, layout, labels and lifetime.
#include "app/CPMainFrame.h"

#include <wx/intl.h>

#include "config/ProcessConfig.h"
#include "foundation/VexoLog.h"
#include "foundation/VexoWString.h"
#include "gui/DialogFont.h"
#include "gui/KeepOnDisplay.h"
#include "gui/WindowPlacement.h"
#include "gui/WxText.h"

using namespace VexoSource;

const wxEventType RefreshEvent = wxNewEventType();

BEGIN_EVENT_TABLE(CPMainFrame, wxDialog)
    EVT_BUTTON(wxID_ANY, CPMainFrame::OnCommand)
    EVT_RADIOBUTTON(wxID_ANY, CPMainFrame::OnCommand)
    EVT_COMBOBOX(wxID_ANY, CPMainFrame::OnCommand)
    EVT_COMMAND(wxID_ANY, RefreshEvent, CPMainFrame::OnRefresh)
END_EVENT_TABLE()

namespace {

wxString Text(const char* key, const char* suffix = "") {
    return LangText(key, u"none") + wxString::FromUTF8(suffix);
}

}  // namespace

CPMainFrame::CPMainFrame()
    : wxDialog(nullptr, wxID_ANY, wxT("Modal dialog"), wxDefaultPosition, wxSize(380, 486),
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX) {
    SetThreadName("device-watch");
    ApplyDialogFont(this);
    CentreOnDisplay(this);
    FocusWhenShown(this);
    TrackFrameDisplay();
    KeepOnDisplay(this);
    m_choiceTimer.Bind(wxEVT_TIMER, [this](wxTimerEvent&) { AdoptWaitingChoice(); });
}

CPMainFrame::~CPMainFrame() {
    // The watch goes first, so that it never sees a half-destroyed window.
    Stop();
    m_choiceTimer.Stop();
    m_running = 0;
}

wxTextCtrl* CPMainFrame::AddField(int id, int x, int y, int w, int h) {
    auto* field = new wxTextCtrl(this, id, wxEmptyString, wxPoint(x, y), wxSize(w, h), wxTE_READONLY | wxNO_BORDER);
    field->SetBackgroundColour(GetBackgroundColour());
    return field;
}

void CPMainFrame::BuildControls() {
    const long caption = wxALIGN_RIGHT | wxST_NO_AUTORESIZE;
    m_pDone = new wxButton(this, ID_DONE, wxGetTranslation(wxT("Done")), wxPoint(165, 421), wxSize(64, 28), 0);
    m_pCancel = new wxButton(this, ID_CANCEL, wxGetTranslation(wxT("Cancel")), wxPoint(234, 421), wxSize(64, 28), 0);
    m_pApply = new wxButton(this, ID_APPLY, wxGetTranslation(wxT("Apply")), wxPoint(303, 421), wxSize(64, 28), 0);
    m_pApply->Enable(false);
    m_pSettingBox = new wxStaticBox(this, wxID_STATIC, wxGetTranslation(wxT("Setting")), wxPoint(10, 295), wxSize(349, 110), 0);
    m_pModeText = new wxStaticText(this, wxID_STATIC, wxGetTranslation(wxT("Mode")), wxPoint(85, 316), wxSize(41, 12), 0);
    m_pMultiTouch = new wxRadioButton(this, ID_MULTITOUCH, wxGetTranslation(wxT("MultiTouch")), wxPoint(138, 316),
                                      wxDefaultSize, 0);
    m_pMouse = new wxRadioButton(this, ID_MOUSE, wxGetTranslation(wxT("Mouse")), wxPoint(258, 316), wxSize(113, 16), 0);
    m_pCalibration = new wxButton(this, ID_CALIBRATION, wxGetTranslation(wxT("Callibration")), wxPoint(30, 340),
                                  wxSize(148, 24), 0);
    m_pAdvanced = new wxButton(this, ID_ADVANCED, wxGetTranslation(wxT("1")), wxPoint(190, 340), wxSize(148, 24), 0);
    m_pManuSetting = new wxButton(this, ID_MANU_SETTING, wxGetTranslation(wxT("2")), wxPoint(30, 368), wxSize(148, 24), 0);
    m_pInfoBox = new wxStaticBox(this, wxID_STATIC, wxGetTranslation(wxT("Prodct Information")), wxPoint(10, 12),
                                 wxSize(349, 277), 0);
    m_pCurrentDeviceText = new wxStaticText(this, wxID_STATIC, wxGetTranslation(wxT("Current Device")), wxPoint(14, 51),
                                            wxSize(113, 22), caption);
    m_pProductTypeText = new wxStaticText(this, wxID_STATIC, wxGetTranslation(wxT("Prodct Type :")), wxPoint(14, 96),
                                          wxSize(113, 14), caption);
    m_pTouchesText = new wxStaticText(this, wxID_STATIC, wxGetTranslation(wxT("Touch Point(s) :")), wxPoint(14, 122),
                                      wxSize(113, 14), caption);
    m_pLcdTypeText = new wxStaticText(this, wxID_STATIC, wxGetTranslation(wxT("LCD Type :")), wxPoint(14, 148),
                                      wxSize(113, 14), caption);
    m_pChipVersionText = new wxStaticText(this, wxID_STATIC, wxGetTranslation(wxT("Firmware Version :")),
                                          wxPoint(14, 174), wxSize(113, 14), caption);
    m_pDeviceStatusText = new wxStaticText(this, wxID_STATIC, wxGetTranslation(wxT("Device Status :")), wxPoint(14, 200),
                                           wxSize(113, 14), caption);
    m_pServiceStatusText = new wxStaticText(this, wxID_STATIC, wxGetTranslation(wxT("Deviec Detail :")),
                                            wxPoint(14, 226), wxSize(113, 14), caption);
    m_pProductType = AddField(ID_PRODUCT_TYPE, 131, 96, 180, 22);
    m_pTouches = AddField(ID_TOUCHES, 131, 122, 180, 22);
    m_pScreenSize = AddField(ID_SCREEN_SIZE, 131, 148, 180, 22);
    m_pFirmware = AddField(ID_FIRMWARE, 131, 174, 180, 22);
    m_pDeviceStatus = AddField(ID_DEVICE_STATUS, 131, 200, 144, 22);
    m_pServiceStatus = AddField(ID_SERVICE_STATUS, 131, 226, 144, 22);
    m_pBrand = new wxStaticText(this, wxID_STATIC, wxGetTranslation(wxT("Fendrel")), wxPoint(50, 429), wxDefaultSize, 0);
    m_pDeviceChoice = new wxComboBox(this, ID_DEVICE_CHOICE, wxEmptyString, wxPoint(131, 50), wxSize(173, 25), 0,
                                     nullptr, wxCB_DROPDOWN | wxCB_READONLY);
    m_pUpdate = new wxButton(this, ID_UPDATE, wxGetTranslation(wxT("Update")), wxPoint(280, 205), wxSize(72, 28), 0);
}

void CPMainFrame::LabelControls() {
    SetTitle(Text("QlnCfg"));
    m_pApply->SetLabel(Text("Apply"));
    m_pCancel->SetLabel(Text("Cancel"));
    m_pDone->SetLabel(Text("Done"));
    m_pSettingBox->SetLabel(Text("Setting"));
    m_pModeText->SetLabel(Text("Mode", " : "));
    m_pCalibration->SetLabel(Text("Callibration"));
    m_pAdvanced->SetLabel(Text("Advanced_Setting"));
    m_pManuSetting->SetLabel(Text("Manu_Setting"));
    m_pInfoBox->SetLabel(Text("Product_Info", " :"));
    m_pCurrentDeviceText->SetLabel(Text("Current_Device", " :"));
    m_pProductTypeText->SetLabel(Text("Product_Type", " :"));
    m_pTouchesText->SetLabel(Text("Touches", " :"));
    m_pLcdTypeText->SetLabel(Text("LCD_Type", " :"));
    m_pChipVersionText->SetLabel(Text("Chip_Version", " :"));
    m_pDeviceStatusText->SetLabel(Text("Device_Status", " :"));
    m_pServiceStatusText->SetLabel(Text("Service_Status", " :"));
    m_pMultiTouch->SetLabel(Text("MultiTouch"));
    m_pMouse->SetLabel(Text("Mouse"));
    m_pUpdate->SetLabel(Text("Update"));
    m_pProductType->SetValue(Text("Device_Destription"));
    m_pDeviceStatus->SetValue(Text("Device_Inserted"));
    // After the texts: a longer label needs a wider indicator control.
    GrowToToolkitMinimum(m_pMultiTouch);
    GrowToToolkitMinimum(m_pMouse);

    std::u16string version;
    if (g_pConfig) version = g_pConfig->ReadText("Configuration:Version", VexoWString(u""), 0).str;
    SetTitle(GetTitle() + wxT(" - ") + ToWx(version));
}

int32_t CPMainFrame::Initialize() {
    BuildControls();
    LabelControls();
    MakeAccessible();
    m_pDone->SetFocus();
    if (LoadFromService()) {
        m_ready = 1;
        // Without its watch the window still shows the start-up reading and its commands work,
        // but it would follow no device change, rotation or service loss: the log says so.
        if (!Start()) VexoLogException(L"Device watch not started: the window will not follow the device");
        m_running = 1;
    }
    return m_running;
}

void CPMainFrame::Release() {
    Stop();
    m_choiceTimer.Stop();
    m_running = 0;
}
