// The main window as built: identifiers, places, sizes, labels in both languages, the "none"
// fallbacks, the title, and that every text fits its control with the windows' font.
#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

#include "app/AppTestSupport.h"
#include "app/CPMainFrame.h"

using apptest::AppEnvironment;
using apptest::FramePtr;
using guitest::ToUtf8;

namespace {

struct Row {
    const char* name;
    wxWindow* control;
    int id;
    wxPoint pos;
    wxSize size;  // -1: the toolkit's size for the label; -2: the toolkit's need, not less
    std::string english;
    std::string chinese;
};

// The layout table in creation order, with the labels the shipped language file gives.
std::vector<Row> LayoutRows(CPMainFrame& f) {
    return {
        {"Done", f.m_pDone, 10003, {165, 421}, {64, 28}, "Done", "确定"},
        {"Cancel", f.m_pCancel, 10002, {234, 421}, {64, 28}, "Cancel", "取消"},
        {"Apply", f.m_pApply, 10001, {303, 421}, {64, 28}, "Apply", "应用"},
        {"Setting box", f.m_pSettingBox, 5105, {10, 295}, {349, 110}, "Setting", "设置"},
        // Built 41 x 12; without wxST_NO_AUTORESIZE the toolkit fits it to its label when relabelled.
        {"Mode", f.m_pModeText, 5105, {85, 316}, {-1, -1}, "Mode : ", "模式 : "},
        {"MultiTouch", f.m_pMultiTouch, 10008, {138, 316}, {-1, -1}, "Multi-Touch", "多点触摸"},
        // Built 113 x 16, below the height GTK's radio indicator needs: grown to that height.
        {"Mouse", f.m_pMouse, 10007, {258, 316}, {113, -2}, "Mouse", "鼠标"},
        {"Callibration", f.m_pCalibration, 10004, {30, 340}, {148, 24}, "Calibration", "校准"},
        {"Advanced", f.m_pAdvanced, 10006, {190, 340}, {148, 24}, "Advanced Setting", "高级设置"},
        {"Manu", f.m_pManuSetting, 10005, {30, 368}, {148, 24}, "Factory Settings", "恢复出厂设置"},
        {"Info box", f.m_pInfoBox, 5105, {10, 12}, {349, 277}, "Product Information :", "产品信息 :"},
        {"Current device", f.m_pCurrentDeviceText, 5105, {14, 51}, {113, 22}, "Current Device :", "当前设备 :"},
        {"Product type", f.m_pProductTypeText, 5105, {14, 96}, {113, 14}, "Product Type :", "产品类型 :"},
        {"Touches", f.m_pTouchesText, 5105, {14, 122}, {113, 14}, "Touch Points :", "触摸点数 :"},
        {"LCD type", f.m_pLcdTypeText, 5105, {14, 148}, {113, 14}, "Screen Size :", "屏幕尺寸 :"},
        {"Chip version", f.m_pChipVersionText, 5105, {14, 174}, {113, 14}, "Firmware Version :", "固件版本 :"},
        {"Device status", f.m_pDeviceStatusText, 5105, {14, 200}, {113, 14}, "Device Status :", "设备状态 :"},
        {"Service status", f.m_pServiceStatusText, 5105, {14, 226}, {113, 14}, "Service Mode :", "服务模式 :"},
        {"Product type field", f.m_pProductType, 10010, {131, 96}, {180, 22}, "IR Multi-Touch Frame", "红外多点触摸框"},
        {"Touches field", f.m_pTouches, 10011, {131, 122}, {180, 22}, "", ""},
        {"Screen size field", f.m_pScreenSize, 10012, {131, 148}, {180, 22}, "", ""},
        {"Firmware field", f.m_pFirmware, 10013, {131, 174}, {180, 22}, "", ""},
        {"Device status field", f.m_pDeviceStatus, 10014, {131, 200}, {144, 22}, "Connected", "已连接"},
        {"Service status field", f.m_pServiceStatus, 10015, {131, 226}, {144, 22}, "", ""},
        {"Brand", f.m_pBrand, 5105, {50, 429}, {-1, -1}, "Fendrel", "Fendrel"},
        {"Device choice", f.m_pDeviceChoice, 10016, {131, 50}, {173, 25}, "", ""},
        {"Update", f.m_pUpdate, 10018, {280, 205}, {72, 28}, "Update", "升级"},
    };
}

// A text field shows its value, every other control its label.
std::string Shown(wxWindow* control) {
    if (auto* field = dynamic_cast<wxTextCtrl*>(control)) return ToUtf8(field->GetValue());
    if (auto* combo = dynamic_cast<wxComboBox*>(control)) return ToUtf8(combo->GetValue());
    return ToUtf8(control->GetLabel());
}

FramePtr BuiltFrame() {
    // No service is connected: the window is built and labelled, the reading fails.
    FramePtr frame(new CPMainFrame());
    EXPECT_EQ(frame->Initialize(), 0);
    frame->Show();
    guitest::Pump(guitest::kShortMs);
    return frame;
}

void CheckLayout(CPMainFrame& frame, bool chinese) {
    const std::vector<Row> rows = LayoutRows(frame);
    ASSERT_EQ(rows.size(), 27u);
    // The children list is the keyboard traversal order: what takes the focus, as it is seen (top to
    // bottom, left to right), not the order of creation; the read-only values are read, not Tab stops.
    std::vector<wxWindow*> children(frame.GetChildren().begin(), frame.GetChildren().end());
    ASSERT_GE(children.size(), rows.size());
    std::vector<wxWindow*> tabStops;
    for (wxWindow* child : children)
        if (child->AcceptsFocusFromKeyboard() && !child->IsTopLevel()) tabStops.push_back(child);
    const std::vector<wxWindow*> seen = {frame.m_pDeviceChoice, frame.m_pUpdate, frame.m_pMultiTouch, frame.m_pMouse,
                                         frame.m_pCalibration, frame.m_pAdvanced, frame.m_pManuSetting,
                                         frame.m_pDone, frame.m_pCancel, frame.m_pApply};
    EXPECT_EQ(tabStops, seen) << "Tab order";
    for (size_t i = 0; i < rows.size(); ++i) {
        const Row& r = rows[i];
        ASSERT_NE(r.control, nullptr) << r.name;
        EXPECT_NE(std::find(children.begin(), children.end(), r.control), children.end()) << r.name;
        EXPECT_EQ(r.control->GetParent(), &frame) << r.name;
        EXPECT_EQ(r.control->GetId(), r.id) << r.name;
        EXPECT_EQ(r.control->GetPosition(), r.pos) << r.name;
        if (r.size.y == -2) {
            EXPECT_EQ(r.control->GetSize().x, r.size.x) << r.name;
            EXPECT_EQ(r.control->GetSize().y, r.control->GetBestSize().y) << r.name;
            EXPECT_GT(r.control->GetSize().y, 16) << r.name;
        } else if (r.size.x > 0) {
            EXPECT_EQ(r.control->GetSize(), r.size) << r.name;
        }
        EXPECT_EQ(Shown(r.control), chinese ? r.chinese : r.english) << r.name;
    }
}

}  // namespace

TEST(CPMainFrameLayout, EnglishControlsTitleAndStates) {
    const guitest::ScreenLock focus;  // the focus check below
    AppEnvironment env("English");
    FramePtr frame = BuiltFrame();
    CheckLayout(*frame, false);
    EXPECT_EQ(ToUtf8(frame->GetTitle()), "Touch Frame Configuration - 2.0.0.0");
    if (guitest::WindowManagerRunning()) {
        // The manager's frame replaces the toolkit's guess of the decoration, so the outer size
        // is the manager's; what the layout needs is that the client area holds every control.
        const wxRect client(wxPoint(0, 0), frame->GetClientSize());
        for (wxWindow* child : frame->GetChildren())
            EXPECT_TRUE(client.Contains(child->GetRect())) << ToUtf8(child->GetLabel()) << " lies inside the window";
    } else {
        EXPECT_EQ(frame->GetSize(), wxSize(380, 486));
    }
    EXPECT_FALSE(frame->m_pApply->IsEnabled());
    EXPECT_TRUE(frame->m_pDone->IsEnabled());
    // X focus is shared by every test window on the display: bring ours to the front first.
    frame->Raise();
    EXPECT_TRUE(guitest::WaitUntil([&] { return wxWindow::FindFocus() == frame->m_pDone; }, guitest::kEventMs))
        << "Done has the keyboard focus";
    EXPECT_EQ(frame->GetWindowStyleFlag() & (wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX),
              long(wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX));
    EXPECT_TRUE(frame->m_pProductType->HasFlag(wxTE_READONLY));
    EXPECT_TRUE(frame->m_pDeviceChoice->HasFlag(wxCB_READONLY));
    EXPECT_EQ(frame->m_pDeviceChoice->GetCount(), 0u);
    EXPECT_EQ(frame->m_pTouches->GetBackgroundColour(), frame->GetBackgroundColour());
    EXPECT_TRUE(frame->m_pTouchesText->HasFlag(wxALIGN_RIGHT));
}

TEST(CPMainFrameLayout, ChineseLabels) {
    AppEnvironment env("Chinese");
    FramePtr frame = BuiltFrame();
    CheckLayout(*frame, true);
    EXPECT_EQ(ToUtf8(frame->GetTitle()), "触摸框配置 - 2.0.0.0");
}

TEST(CPMainFrameLayout, LanguageFileWithoutKeysShowsNone) {
    AppEnvironment env("English", "2.0.0.0", "<?xml version=\"1.0\" ?>\n<Lang><EN></EN><CN></CN></Lang>\n");
    FramePtr frame = BuiltFrame();
    EXPECT_EQ(ToUtf8(frame->GetTitle()), "none - 2.0.0.0");
    for (const Row& r : LayoutRows(*frame)) {
        const std::string shown = Shown(r.control);
        if (r.english.empty()) EXPECT_EQ(shown, "") << r.name;
        else if (r.control == frame->m_pBrand) EXPECT_EQ(shown, "Fendrel") << "the brand is never relabelled";
        else if (r.english.back() == ' ') EXPECT_EQ(shown, "none : ") << r.name;
        else if (r.english.back() == ':') EXPECT_EQ(shown, "none :") << r.name;
        else EXPECT_EQ(shown, "none") << r.name;
    }
}

// Every label and value fits inside its control with the windows' font, in both languages.
TEST(CPMainFrameLayout, TextsFitTheirControls) {
    for (const char* language : {"English", "Chinese"}) {
        AppEnvironment env(language);
        FramePtr frame = BuiltFrame();
        // Values the display writes at their widest.
        frame->m_pTouches->SetValue(wxT("255"));
        frame->m_pScreenSize->SetValue(wxT("255 ") + frame->m_pScreenSize->GetValue() +
                                       (std::string(language) == "Chinese" ? wxString::FromUTF8("英寸") : wxT("Inches")));
        frame->m_pFirmware->SetValue(wxT("25.5"));
        frame->m_pServiceStatus->SetValue(std::string(language) == "Chinese" ? wxString::FromUTF8("硬件模式")
                                                                              : wxString(wxT("Hardware Mode")));
        frame->m_pDeviceChoice->Append(wxT("0102030405060708"));
        frame->m_pDeviceChoice->SetSelection(0);
        for (const Row& r : LayoutRows(*frame)) {
            const wxString text = dynamic_cast<wxTextCtrl*>(r.control) || dynamic_cast<wxComboBox*>(r.control)
                                      ? guitest::FromUtf8(Shown(r.control))
                                      : r.control->GetLabel();
            if (text.empty()) continue;
            const wxSize extent = r.control->GetTextExtent(text);
            const wxSize size = r.control->GetSize();
            // Buttons, boxes and radio buttons draw a frame, a mark or an arrow beside the text.
            int room = 0;
            if (dynamic_cast<wxButton*>(r.control)) room = 8;
            if (dynamic_cast<wxRadioButton*>(r.control)) room = 18;
            if (dynamic_cast<wxComboBox*>(r.control)) room = 24;
            if (dynamic_cast<wxStaticBox*>(r.control)) room = 16;
            EXPECT_LE(extent.x + room, size.x) << language << " " << r.name << " '" << ToUtf8(text) << "'";
            EXPECT_LE(extent.y, size.y) << language << " " << r.name << " '" << ToUtf8(text) << "'";
        }
    }
}
