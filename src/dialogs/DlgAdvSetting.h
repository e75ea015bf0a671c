// The advanced settings dialog: right-click and pen simulation, click timings and ranges, and
// smoothing, read from the touch service when it opens and written back on Done after a change.
#pragma once

#include <cstdint>

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/dialog.h>
#include <wx/slider.h>
#include <wx/statbox.h>
#include <wx/stattext.h>

#include "device/AdvSettingRules.h"
#include "gui/CPWindow.h"
#include "servicelink/ServiceContract.h"

class DlgAdvSetting : public wxDialog, public CPWindow {
public:
    enum {
        ID_SMOOTH_SLIDER = 10004,
        ID_RANGE_SLIDER = 10005,
        ID_RCLICK_SLIDER = 10006,
        ID_DCLICK_SLIDER = 10007,
    };

    // device: the one the opener's sequence began on; every request of the dialog goes to it.
    DlgAdvSetting(wxWindow* parent, VexoSource::DeviceHandle device);
    ~DlgAdvSetting() override;

    // Builds the controls, loads the service's values and applies the texts; 0 (the opener then
    // does not show the dialog) when a read failed, after saying so, or when the language file
    // could not be reloaded.
    int32_t Initialize() override;
    void Release() override;
    // 0 when any of the reads (configuration, effects, pen item) was not answered whole.
    int32_t LoadFromService() override;
    // Called by ApplyChanges with this dialog's own request lock held; 0 when a request failed.
    int32_t WriteSettings(const VexoSource::DeviceHandle& device) override;
    VexoSource::DeviceHandle Device() override { return m_device; }

    // Read by tests and by the opener.
    int32_t Shown() const { return m_shown; }

private:
    void BuildControls();
    void ApplyTexts();
    // Tab order, names, caption links and access keys (DlgAdvSettingAccess.cpp); after the texts.
    void MakeAccessible();
    VexoSource::AdvSettingPositions ReadControls() const;
    void OnEvent(wxCommandEvent& event);
    void OnCharHook(wxKeyEvent& event);

    const VexoSource::DeviceHandle m_device;
    // The effects as the last write read them afresh.
    VexoSource::EffectsRecord m_effects{};
    // Read only as a check that the service answers.
    VexoSource::DeviceConfigRecord m_deviceConfig{};
    // Item 2 (pen simulation) as the last load read it; the dialog's own, since it is written.
    VexoSource::MultiConfigRecord m_penItem{};
    int32_t m_shown = 0;

    wxStaticBox* m_pEffectsBox = nullptr;
    wxCheckBox* m_pRightClick = nullptr;
    wxCheckBox* m_pPen = nullptr;
    wxStaticText* m_pDClickText = nullptr;
    wxStaticText* m_pRangeText = nullptr;
    wxStaticText* m_pRClickText = nullptr;
    wxStaticText* m_pSmoothText = nullptr;
    wxStaticText* m_pShort = nullptr;
    wxStaticText* m_pFast = nullptr;
    wxStaticText* m_pSlow = nullptr;
    wxStaticText* m_pSmall = nullptr;
    wxStaticText* m_pBig = nullptr;
    wxStaticText* m_pLong = nullptr;
    wxStaticText* m_pWorse = nullptr;
    wxStaticText* m_pBetter = nullptr;
    wxSlider* m_pRClickSlider = nullptr;
    wxSlider* m_pDClickSlider = nullptr;
    wxSlider* m_pRangeSlider = nullptr;
    wxSlider* m_pSmoothSlider = nullptr;

    wxDECLARE_EVENT_TABLE();
};
