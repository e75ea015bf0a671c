// The main window for keyboard and screen reader users: the Tab order of what is seen, captions
// linked to the values they name, Alt-letter keys, Escape as Cancel.
#include "app/CPMainFrame.h"

#include <vector>

#include "device/AccessKeyRules.h"
#include "gui/Accessible.h"

using VexoSource::AccessKeyOf;
using VexoSource::kMainWindowKeys;

void CPMainFrame::MakeAccessible() {
    // The order of the window's children is its Tab order, and wx links a caption to the next
    // control that takes the focus (a screen reader's labelled-by, a caption's Alt key), the last
    // caption before it winning. The controls are created in the layout's order, which is
    // neither: here the frames, the brand and the read-only values (linked below) come first, then
    // top to bottom and left to right what takes the focus, each caption right before its control.
    // Nothing ends the list waiting for a control: a dialog opened later (a child too) would get
    // that caption as its label.
    const std::vector<wxWindow*> order = {
        m_pInfoBox, m_pProductTypeText, m_pProductType, m_pTouchesText, m_pTouches, m_pLcdTypeText, m_pScreenSize,
        m_pChipVersionText, m_pFirmware, m_pDeviceStatusText, m_pDeviceStatus, m_pServiceStatusText,
        m_pServiceStatus, m_pSettingBox, m_pBrand,
        m_pCurrentDeviceText, m_pDeviceChoice, m_pUpdate, m_pModeText, m_pMultiTouch, m_pMouse,
        m_pCalibration, m_pAdvanced, m_pManuSetting, m_pDone, m_pCancel, m_pApply,
    };
    order.front()->MoveBeforeInTabOrder(GetChildren().GetFirst()->GetData());
    for (size_t k = 1; k < order.size(); ++k) order[k]->MoveAfterInTabOrder(order[k - 1]);

    // The read-only values: read by a screen reader, named by their captions, but no Tab stops.
    const std::pair<wxWindow*, wxWindow*> values[] = {
        {m_pProductTypeText, m_pProductType}, {m_pTouchesText, m_pTouches},
        {m_pLcdTypeText, m_pScreenSize},      {m_pChipVersionText, m_pFirmware},
        {m_pDeviceStatusText, m_pDeviceStatus}, {m_pServiceStatusText, m_pServiceStatus},
    };
    for (const auto& [caption, value] : values) {
        SkipOnTab(value);
        LinkCaption(caption, value);
    }
    // The device list is "Current Device", not the identifier it shows; one Tab stop.
    OneStopForComboBox(m_pDeviceChoice);
    LinkCaption(m_pCurrentDeviceText, m_pDeviceChoice);
    LinkCaption(m_pModeText, m_pMultiTouch);

    const std::pair<wxWindow*, const char*> keys[] = {
        {m_pDone, "Done"},       {m_pCancel, "Cancel"},          {m_pApply, "Apply"},
        {m_pMultiTouch, "MultiTouch"}, {m_pMouse, "Mouse"},      {m_pCalibration, "Callibration"},
        {m_pAdvanced, "Advanced_Setting"}, {m_pManuSetting, "Manu_Setting"}, {m_pUpdate, "Update"},
    };
    for (const auto& [control, key] : keys) ShowAccessKey(control, AccessKeyOf(kMainWindowKeys, key));
    ShowAccessKey(m_pCurrentDeviceText, AccessKeyOf(kMainWindowKeys, "Current_Device"), m_pDeviceChoice);

    // Escape is Cancel, as in any dialog. Not through SetEscapeId: the toolkit's close handling
    // presses that same button, whose Close would then come back into it and end nothing.
    Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& event) {
        if (event.GetKeyCode() == WXK_ESCAPE && !event.HasAnyModifiers())
            Close(false);
        else
            event.Skip();
    });
}
