// The advanced settings for keyboard and screen reader users: the Tab order of what is seen,
// sliders named by their captions and described by their ends, Alt-letter keys, the dialog role.
#include "dialogs/DlgAdvSetting.h"

#include <vector>

#include "device/AccessKeyRules.h"
#include "gui/Accessible.h"

using VexoSource::AccessKeyOf;
using VexoSource::kAdvancedSettingKeys;

void DlgAdvSetting::MakeAccessible() {
    // Children in Tab order, each caption right before its slider (wx links the last caption
    // before a control to it); the frame and the end marks before the first caption, where the
    // caption takes over their link. Nothing ends the list waiting for a control.
    const std::vector<wxWindow*> order = {
        m_pRightClick, m_pPen, m_pEffectsBox, m_pShort, m_pLong, m_pWorse, m_pBetter, m_pFast, m_pSlow, m_pSmall,
        m_pBig, m_pRClickText, m_pRClickSlider, m_pSmoothText, m_pSmoothSlider, m_pDClickText, m_pDClickSlider,
        m_pRangeText, m_pRangeSlider, m_pDone, m_pCancel,
    };
    order.front()->MoveBeforeInTabOrder(GetChildren().GetFirst()->GetData());
    for (size_t k = 1; k < order.size(); ++k) order[k]->MoveAfterInTabOrder(order[k - 1]);

    struct Slider {
        wxWindow* caption;
        wxWindow* slider;
        wxWindow* low;
        wxWindow* high;
        const char* key;
    };
    const Slider sliders[] = {
        {m_pRClickText, m_pRClickSlider, m_pShort, m_pLong, "Right_Click_Duration"},
        {m_pSmoothText, m_pSmoothSlider, m_pWorse, m_pBetter, "Smooth_Effection"},
        {m_pDClickText, m_pDClickSlider, m_pFast, m_pSlow, "Double_Click_Speed"},
        {m_pRangeText, m_pRangeSlider, m_pSmall, m_pBig, "Right_Double_Click_Range"},
    };
    for (const Slider& s : sliders) {
        LinkCaption(s.caption, s.slider);
        // Its value is the slider's own (a listener hears the number); the ends say which way is which.
        SetAccessibleDescription(s.slider, s.low->GetLabel() + wxT(" \u2013 ") + s.high->GetLabel());
        ShowAccessKey(s.caption, AccessKeyOf(kAdvancedSettingKeys, s.key), s.slider);
    }
    ShowAccessKey(m_pRightClick, AccessKeyOf(kAdvancedSettingKeys, "Right_Click_Simulation"));
    ShowAccessKey(m_pPen, AccessKeyOf(kAdvancedSettingKeys, "Pen_Simulation"));
    ShowAccessKey(m_pDone, AccessKeyOf(kAdvancedSettingKeys, "Done"));
    ShowAccessKey(m_pCancel, AccessKeyOf(kAdvancedSettingKeys, "Cancel"));
    SetAccessibleRole(this, AccessibleRole::Dialog);
}
