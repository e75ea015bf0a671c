#include "dialogs/DlgAdvSetting.h"

#include <wx/intl.h>

#include "config/ProcessConfig.h"
#include "device/AdvancedSettings.h"
#include "foundation/VexoLog.h"
#include "gui/DialogFont.h"
#include "gui/MessageBox.h"
#include "gui/WindowPlacement.h"
#include "gui/WxText.h"

using namespace VexoSource;

wxBEGIN_EVENT_TABLE(DlgAdvSetting, wxDialog)
    EVT_BUTTON(wxID_ANY, DlgAdvSetting::OnEvent)
    EVT_CHECKBOX(wxID_ANY, DlgAdvSetting::OnEvent)
    EVT_SLIDER(wxID_ANY, DlgAdvSetting::OnEvent)
    EVT_CHAR_HOOK(DlgAdvSetting::OnCharHook)
wxEND_EVENT_TABLE()

namespace {
void SetSlider(wxSlider* slider, int32_t position, SliderRange range) {
    slider->SetValue(ClampToSlider(position, range));
}
}  // namespace

DlgAdvSetting::DlgAdvSetting(wxWindow* parent, DeviceHandle device)
    : wxDialog(parent, wxID_ANY, wxT("Modal dialog"), wxDefaultPosition, wxSize(363, 253),
               wxDEFAULT_DIALOG_STYLE),
      m_device(device) {
    m_shown = 0;
    // The main window's font: a top-level window does not inherit it, and the layout was drawn
    // for it (GTK's default runs the labels into each other).
    ApplyDialogFont(this);
    // Not Centre alone: under openbox a program-given place does not always survive the mapping.
    CentreOverParent(this);
    FocusWhenShown(this);
}

DlgAdvSetting::~DlgAdvSetting() { m_shown = 0; }

void DlgAdvSetting::BuildControls() {
    m_pDone = new wxButton(this, wxID_ANY, wxGetTranslation(wxT("Done")), wxPoint(179, 168), wxSize(73, 40));
    m_pCancel = new wxButton(this, wxID_ANY, wxGetTranslation(wxT("Cancel")), wxPoint(258, 168), wxSize(73, 40));
    // Return is Done, as in any dialog (Escape is Cancel: OnCharHook).
    m_pDone->SetDefault();
    m_pEffectsBox = new wxStaticBox(this, wxID_STATIC, wxGetTranslation(wxT("Effection(s)")), wxPoint(12, 12),
                                    wxSize(332, 150));
    m_pRightClick = new wxCheckBox(this, wxID_ANY, wxGetTranslation(wxT("Right Click Simulation")),
                                   wxPoint(18, 27), wxSize(160, 16));
    m_pPen = new wxCheckBox(this, wxID_ANY, wxGetTranslation(wxT("Pen Simulation")), wxPoint(180, 27),
                            wxSize(160, 16));
    auto text = [this](const wxChar* label, int x, int y, wxSize size = wxDefaultSize) {
        return new wxStaticText(this, wxID_STATIC, wxGetTranslation(label), wxPoint(x, y), size);
    };
    m_pDClickText = text(wxT("Doule Click Speed"), 18, 97);
    m_pRangeText = text(wxT("Right/Double Click Range"), 176, 97);
    m_pRClickText = text(wxT("Right Click Duration"), 18, 53, wxSize(125, 22));
    m_pSmoothText = text(wxT("Smooth Effection"), 176, 53, wxSize(125, 22));
    m_pShort = text(wxT("Short"), 18, 72);
    m_pFast = text(wxT("Fast"), 18, 119);
    m_pSlow = text(wxT("Slow"), 142, 119);
    m_pSmall = text(wxT("Small"), 176, 119);
    m_pBig = text(wxT("Big"), 295, 119);
    m_pLong = text(wxT("Long"), 142, 72);
    m_pWorse = text(wxT("Worse"), 176, 72);
    m_pBetter = text(wxT("Better"), 295, 72);
    auto slider = [this](int id, int x, int y, SliderRange range) {
        return new wxSlider(this, id, 0, range.minimum, range.maximum, wxPoint(x, y), wxSize(83, 25),
                            wxSL_HORIZONTAL);
    };
    m_pRClickSlider = slider(ID_RCLICK_SLIDER, 55, 68, kRClickDelaySlider);
    m_pDClickSlider = slider(ID_DCLICK_SLIDER, 55, 114, kDClickDelaySlider);
    m_pRangeSlider = slider(ID_RANGE_SLIDER, 211, 114, kClickRangeSlider);
    m_pSmoothSlider = slider(ID_SMOOTH_SLIDER, 211, 68, kSmoothSlider);
    for (wxWindow* s : {m_pRClickSlider, m_pDClickSlider, m_pRangeSlider, m_pSmoothSlider}) GrowToToolkitMinimum(s);
}

void DlgAdvSetting::ApplyTexts() {
    m_pDone->SetLabel(LangText("Done", u"Done"));
    m_pCancel->SetLabel(LangText("Cancel", u"Cancel"));
    SetTitle(LangText("Advanced_Setting", u"Advanced Setting"));
    m_pEffectsBox->SetLabel(LangText("Effections", u"Effections"));
    m_pRightClick->SetLabel(LangText("Right_Click_Simulation", u"Right Click Simulation"));
    m_pPen->SetLabel(LangText("Pen_Simulation", u"Pen Simulation"));
    // After the texts: a longer label needs a wider indicator control.
    GrowToToolkitMinimum(m_pRightClick);
    GrowToToolkitMinimum(m_pPen);
    m_pDClickText->SetLabel(LangText("Double_Click_Speed", u"Double Click Speed"));
    m_pRangeText->SetLabel(LangText("Right_Double_Click_Range", u"Right/Double Click Range"));
    m_pRClickText->SetLabel(LangText("Right_Click_Duration", u"Right Click Duration"));
    m_pSmoothText->SetLabel(LangText("Smooth_Effection", u"Smooth Effection"));
    m_pShort->SetLabel(LangText("Short", u"Short"));
    m_pFast->SetLabel(LangText("Fast", u"Fast"));
    m_pSlow->SetLabel(LangText("Slow", u"Slow"));
    m_pSmall->SetLabel(LangText("Small", u"Small"));
    m_pBig->SetLabel(LangText("Big", u"Big"));
    m_pLong->SetLabel(LangText("Long", u"Long"));
    m_pWorse->SetLabel(LangText("Worse", u"Worsen"));
    m_pBetter->SetLabel(LangText("Better", u"Better"));
}

int32_t DlgAdvSetting::Initialize() {
    if (m_pDone == nullptr) BuildControls();
    // A dialog that could not read the device must not be able to write it: its controls would
    // show the sliders' minimums as if they were the device's values, and Done would write them.
    if (!LoadFromService()) {
        VexoLogInfo(L"Advanced Setting -> not opened: the device's settings could not be read");
        VexoMessageBox(LangText("Advanced_Setting_Not_Read",
                                u"The advanced settings could not be read from the device, so they cannot be "
                                u"changed now. Please try again later."),
                       wxEmptyString, wxOK);
        return 0;
    }
    m_ready = 1;
    if (g_MultiLang.LoadTexts()) {
        ApplyTexts();
        MakeAccessible();
        m_shown = 1;
    }
    return m_shown;
}

void DlgAdvSetting::Release() { m_shown = 0; }

int32_t DlgAdvSetting::LoadFromService() {
    // The pen item starts cleared at every load: a load that fails before the item is read leaves
    // it so, and Done then writes item 2 with zeros behind its flag, never bytes of another item.
    m_penItem = MultiConfigRecord{};
    AdvancedSettings loaded;
    if (!LoadAdvancedSettings(m_device, loaded, m_deviceConfig, m_penItem, true)) return 0;
    // An unread pen item would show the flag off and Done would write it so.
    if (loaded.penState == PenItemState::NotAnswered) {
        VexoLogException(L"Get response failed! ");
        return 0;
    }
    const AdvSettingPositions& p = loaded.positions;
    m_pRightClick->SetValue(p.rightClick);
    SetSlider(m_pRClickSlider, p.rClickDelay, kRClickDelaySlider);
    SetSlider(m_pDClickSlider, p.dClickDelay, kDClickDelaySlider);
    SetSlider(m_pRangeSlider, p.clickRange, kClickRangeSlider);
    SetSlider(m_pSmoothSlider, p.smooth, kSmoothSlider);
    m_pPen->SetValue(loaded.pen != 0);
    return 1;
}

AdvSettingPositions DlgAdvSetting::ReadControls() const {
    AdvSettingPositions p;
    p.rightClick = m_pRightClick->GetValue();
    p.rClickDelay = m_pRClickSlider->GetValue();
    p.dClickDelay = m_pDClickSlider->GetValue();
    p.clickRange = m_pRangeSlider->GetValue();
    p.smooth = m_pSmoothSlider->GetValue();
    return p;
}

int32_t DlgAdvSetting::WriteSettings(const DeviceHandle& device) {
    // The pen item goes out with the data bytes that the load read for item 2 (zeros without them).
    return WriteAdvancedSettings(device, ReadControls(), m_pPen->GetValue(), m_effects, m_penItem) ==
                   AdvancedWriteResult::Done
               ? 1
               : 0;
}

void DlgAdvSetting::OnCharHook(wxKeyEvent& event) {
    // Escape is Cancel. The toolkit's own Escape handling looks for a button with the standard
    // Cancel id, which this dialog's buttons do not carry.
    if (event.GetKeyCode() == WXK_ESCAPE && m_pCancel)
        Close(false);
    else
        event.Skip();
}

void DlgAdvSetting::OnEvent(wxCommandEvent& event) {
    wxObject* source = event.GetEventObject();
    if (source == nullptr) {
        event.Skip();
    } else if (source == m_pCancel) {
        Close(false);
    } else if (source == m_pDone) {
        // After a failed write the dialog stays open with the changes still pending.
        if (ApplyChanges()) Close(false);
    } else if (source == m_pRightClick || source == m_pPen || source == m_pRClickSlider ||
               source == m_pDClickSlider || source == m_pRangeSlider || source == m_pSmoothSlider) {
        MarkModified();
    } else {
        // The toolkit's own Cancel from a close request ends the modal loop further on.
        event.Skip();
    }
}
