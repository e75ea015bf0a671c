#include "dialogs/DlgAdvSetting.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "app/AppTestSupport.h"
#include "config/ProcessConfig.h"
#include "guisupport/ModalScript.h"
#include "guisupport/GuiTest.h"
#include "guisupport/LanguageDir.h"
#include "servicelink/VexoRPC.h"
#include "touchsim/Simulator.h"
#include "support/PackedValue.h"
#include "support/TraceRecords.h"

using namespace VexoSource;
using namespace guitest;
using tracetest::Find;
using tracetest::PayloadAs;

namespace {

const char* const kFullEnglish =
    "<Done>Done</Done><Cancel>Cancel</Cancel><Advanced_Setting>Advanced Setting</Advanced_Setting>"
    "<Effections>Effections</Effections><Right_Click_Simulation>Right Click Simulation</Right_Click_Simulation>"
    "<Pen_Simulation>Pen Simulation</Pen_Simulation><Double_Click_Speed>Double Click Speed</Double_Click_Speed>"
    "<Right_Double_Click_Range>Right/Double Click Range</Right_Double_Click_Range>"
    "<Right_Click_Duration>Right Click Duration</Right_Click_Duration><Smooth_Effection>Smooth Effection</Smooth_Effection>"
    "<Short>Short</Short><Fast>Fast</Fast><Slow>Slow</Slow><Small>Small</Small><Big>Big</Big><Long>Long</Long>"
    "<Worse>Worse</Worse><Better>Better</Better>";


struct AdvControls {
    wxButton* done;
    wxButton* cancel;
    wxCheckBox* rightClick;
    wxCheckBox* pen;
    wxSlider* rClick;
    wxSlider* dClick;
    wxSlider* range;
    wxSlider* smooth;
    std::vector<wxWindow*> all;  // the children, in Tab order
};

// The controls as a user finds them: buttons and sliders by id, check boxes by their labels
// (the toolkit chooses their ids).
AdvControls ControlsOf(DlgAdvSetting& dialog) {
    AdvControls c{};
    for (wxWindow* w : dialog.GetChildren()) c.all.push_back(w);
    c.done = dialog.m_pDone;
    c.cancel = dialog.m_pCancel;
    c.rightClick = ChildLabelled<wxCheckBox>(&dialog, wxT("Right Click Simulation"));
    c.pen = ChildLabelled<wxCheckBox>(&dialog, wxT("Pen Simulation"));
    c.rClick = dynamic_cast<wxSlider*>(dialog.FindWindow(DlgAdvSetting::ID_RCLICK_SLIDER));
    c.dClick = dynamic_cast<wxSlider*>(dialog.FindWindow(DlgAdvSetting::ID_DCLICK_SLIDER));
    c.range = dynamic_cast<wxSlider*>(dialog.FindWindow(DlgAdvSetting::ID_RANGE_SLIDER));
    c.smooth = dynamic_cast<wxSlider*>(dialog.FindWindow(DlgAdvSetting::ID_SMOOTH_SLIDER));
    return c;
}

std::vector<std::string> Names(const std::vector<touchsim::TraceEntry>& trace) {
    std::vector<std::string> names;
    for (const auto& e : trace) names.push_back(e.name);
    return names;
}

bool SentNothing(const std::vector<touchsim::TraceEntry>& trace) {
    for (const auto& e : trace)
        if (e.name.rfind("Set", 0) == 0 || e.name == "ResetDevice") return false;
    return true;
}

uint32_t FirstWord(const MultiConfigRecord& r) {
    uint32_t w;
    std::memcpy(&w, r.data, 4);
    return w;
}

class AdvSettingTest : public ::testing::Test {
protected:
    void SetUp() override {
        touchsim::Options options;
        options.rpcPort = 0;
        options.stream = false;
        sim = std::make_unique<touchsim::Simulator>(options);
        ASSERT_TRUE(sim->Start());
        ASSERT_TRUE(OpenServiceChannelAt("127.0.0.1", sim->RpcPort()));
    }
    void TearDown() override {
        CloseServiceChannel();
        sim->Stop();
    }

    // Runs the dialog modally under a script; returns the trace of what the dialog sent meanwhile.
    std::vector<touchsim::TraceEntry> RunModal(DlgAdvSetting& dialog, std::vector<Step> steps) {
        sim->ClearTrace();
        ModalScript script(std::move(steps));
        dialog.ShowModal();
        EXPECT_FALSE(script.WatchdogFired());
        EXPECT_TRUE(script.Finished());
        return sim->Trace();
    }

    std::unique_ptr<touchsim::Simulator> sim;
    std::string english = kFullEnglish;
};

}  // namespace

TEST_F(AdvSettingTest, StoredValuesOpenAtTheirPositionsAndDoneWithoutChangeSendsNothing) {
    struct Row {
        const char* name;
        std::function<void(EffectsRecord&)> edit;
        bool rightClick;
        int rClick, dClick, range, smooth;
    } rows[] = {
        {"manufacturer", [](EffectsRecord&) {}, true, 20, 5, 3, 1},
        {"truncated", [](EffectsRecord& e) { e.msRClickDelay = 2550, e.msDClickDelay = 699, e.rightClick = 0; },
         false, 25, 6, 3, 1},
        {"beyond the ends",
         [](EffectsRecord& e) {
             e.msRClickDelay = 100, e.msDClickDelay = 90000, e.smoothValue = 0xFFFFFFFFu;
             e.msRDClickRange = std::numeric_limits<float>::quiet_NaN();
         },
         true, 8, 7, 1, 6},
    };
    LanguageDir lang(&english);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        sim->Edit([&](touchsim::DeviceModel& m) {
            m.effects = touchsim::DeviceModel::FactoryEffects();
            r.edit(m.effects);
        });
        sim->ClearTrace();
        DlgAdvSetting dialog(nullptr, VexoSource::ChosenDevice());
        ASSERT_EQ(dialog.Initialize(), 1);
        EXPECT_EQ(Names(sim->Trace()), (std::vector<std::string>{"GetDeviceConfig", "GetEffects", "GetMultiConfig"}));
        AdvControls c = ControlsOf(dialog);
        ASSERT_EQ(c.all.size(), 21u);
        EXPECT_EQ(c.rightClick->GetValue(), r.rightClick);
        EXPECT_FALSE(c.pen->GetValue());
        EXPECT_EQ(c.rClick->GetValue(), r.rClick);
        EXPECT_EQ(c.dClick->GetValue(), r.dClick);
        EXPECT_EQ(c.range->GetValue(), r.range);
        EXPECT_EQ(c.smooth->GetValue(), r.smooth);

        auto trace = RunModal(dialog, {Do([&] { Click(c.done); })});
        EXPECT_TRUE(trace.empty()) << trace.size() << " requests, first " << trace.front().name;
    }
}

TEST_F(AdvSettingTest, DoneAfterAChangeWritesEveryShownFieldAndForcesTheHiddenOnes) {
    sim->Edit([](touchsim::DeviceModel& m) {
        m.effects.msRClickDelay = 2550;
        m.effects.reserved0 = 7;
        m.effects.reserved4 = 1.5f;
        m.effects.reserved8 = -2.0f;
        m.effects.reserved12 = 9.0f;
        // Item 2 with data of its own behind the flag: they go back as read.
        m.multiConfig[2] = touchsim::DeviceModel::StoredItem(2, 0, 0x01020304u);
    });
    LanguageDir lang(&english);
    LogCapture log;
    DlgAdvSetting dialog(nullptr, VexoSource::ChosenDevice());
    ASSERT_EQ(dialog.Initialize(), 1);
    AdvControls c = ControlsOf(dialog);
    EXPECT_EQ(c.rClick->GetValue(), 25);
    for (const char* line : {"Advanced Setting -> Loading Configuration...", "msRClickDelay 2550:25",
                             "msDClickDelay 500:5", "msRDClickRange 0.300000:3", "smoothValue 1:1"})
        EXPECT_TRUE(log.Contains(line)) << line;

    auto trace = RunModal(dialog, {Do([&] { SetCheck(c.pen, true); }), Do([&] { MoveSlider(c.smooth, 4); }),
                                   Pause(2), Do([&] { Click(c.done); })});
    EXPECT_EQ(Names(trace), (std::vector<std::string>{"GetEffects", "SetEffects", "SetMultiConfig", "ResetDevice"}));
    const auto* set = Find(trace, "SetEffects");
    ASSERT_NE(set, nullptr);
    const EffectsRecord e = PayloadAs<EffectsRecord>(*set);
    EXPECT_EQ(Value(e.reserved0), 0u);
    EXPECT_EQ(BitsOf(Value(e.reserved4)), 0u);
    EXPECT_EQ(BitsOf(Value(e.reserved8)), 0u);
    EXPECT_EQ(BitsOf(Value(e.reserved12)), 0x3D4CCCCDu);
    EXPECT_EQ(Value(e.rightClick), 1u);
    EXPECT_EQ(Value(e.msRClickDelay), 2500u);  // written back from position 25
    EXPECT_EQ(Value(e.msDClickDelay), 500u);
    EXPECT_EQ(BitsOf(Value(e.msRDClickRange)), 0x3E99999Au);
    EXPECT_EQ(Value(e.smoothValue), 4u);
    // The whole item: the flag on, the rest as the device stored it.
    const std::vector<uint8_t> penOn = BytesOf(touchsim::DeviceModel::StoredItem(2, 1, 0x01020304u));
    EXPECT_EQ(Find(trace, "SetMultiConfig")->payload, penOn);
    EXPECT_EQ(BytesOf(sim->Model().multiConfig.at(2)), penOn);
    EXPECT_EQ(Value(sim->Model().effects.msRClickDelay), 2500u);
    for (const char* line : {"Advanced Setting -> Update Configuration...", "msRClickDelay 25", "smoothValue 4"})
        EXPECT_TRUE(log.Contains(line)) << line;
}

TEST_F(AdvSettingTest, AFailedWriteStopsWithItsLogTextResetsNothingAndKeepsTheDialogOpen) {
    struct Row {
        const char* name;
        uint32_t code;  // the request whose reply is cut
        size_t bytes;   // what is left of it
        const char* logText;
        std::vector<std::string> calls;
    } rows[] = {
        {"GetEffects without payload", GetEffects, 0, "Get effects failed! ", {"GetEffects"}},
        {"GetEffects short: the rest would be stale", GetEffects, 20, "Get effects failed! ", {"GetEffects"}},
        {"SetEffects", SetEffects, 0, "Set effections failed! ", {"GetEffects", "SetEffects"}},
        {"SetMultiConfig", SetMultiConfig, 0, "Set multi-config failed! ",
         {"GetEffects", "SetEffects", "SetMultiConfig"}},
    };
    LanguageDir lang(&english);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        DlgAdvSetting dialog(nullptr, VexoSource::ChosenDevice());
        ASSERT_EQ(dialog.Initialize(), 1);
        AdvControls c = ControlsOf(dialog);
        LogCapture log;
        MessageBoxes boxes;
        bool openAfterDone = false;
        auto trace = RunModal(dialog, {Do([&] { MoveSlider(c.smooth, 5); }), Pause(2), Do([&] {
                                           sim->CutNextReply(r.code, r.bytes);
                                           Click(c.done);
                                       }),
                                       Pause(3), Do([&] {
                                           openAfterDone = dialog.IsModal();
                                           Click(c.cancel);
                                       })});
        EXPECT_EQ(Names(trace), r.calls) << "no ResetDevice after a failed write";
        EXPECT_TRUE(log.Contains(r.logText));
        EXPECT_TRUE(openAfterDone);
        EXPECT_EQ(boxes.Texts(),
                  std::vector<std::string>{"The settings could not be written to the device. Please try again."});
        EXPECT_FALSE(dialog.IsModal());
    }
}

TEST_F(AdvSettingTest, AShortReadShowsNothingAnEarlierRequestLeftBehind) {
    sim->Edit([](touchsim::DeviceModel& m) {
        m.effects.msRClickDelay = 3000;  // position 30
        m.multiConfig[2] = touchsim::DeviceModel::StoredItem(2, 1);  // pen on
    });
    LanguageDir lang(&english);
    struct Row {
        const char* name;
        uint32_t code;
        size_t bytes;
        bool opens;  // a cut reply is a read that failed: the dialog does not open at all
        std::vector<std::string> calls;
    } rows[] = {
        {"whole replies", 0, 0, true, {"GetDeviceConfig", "GetEffects", "GetMultiConfig"}},
        // A reply of 8 bytes would leave the orientation item's mark and data word in place.
        {"item 2 cut after its id and length", GetMultiConfig, 8, false,
         {"GetDeviceConfig", "GetEffects", "GetMultiConfig"}},
        {"effects cut in the middle", GetEffects, 22, false, {"GetDeviceConfig", "GetEffects"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        sim->ClearTrace();
        if (r.code) sim->CutNextReply(r.code, r.bytes);
        LogCapture log;
        MessageBoxes boxes;
        DlgAdvSetting dialog(nullptr, VexoSource::ChosenDevice());
        ASSERT_EQ(dialog.Initialize(), r.opens ? 1 : 0);
        if (r.opens) {
            AdvControls c = ControlsOf(dialog);
            EXPECT_TRUE(c.pen->GetValue());
            EXPECT_EQ(c.rClick->GetValue(), 30);
        }
        EXPECT_EQ(boxes.Shown().size(), r.opens ? 0u : 1u);
        EXPECT_EQ(Names(sim->Trace()), r.calls) << "a cut item is not written afresh either";
        EXPECT_EQ(log.Contains("Short reply to request"), r.code != 0);
    }
}

TEST_F(AdvSettingTest, OnlyDoneAfterAChangeWrites) {
    struct Row {
        const char* name;
        std::function<std::vector<Step>(AdvControls&, DlgAdvSetting&)> script;
        bool writes;
    } rows[] = {
        {"slider moved and back, Done",
         [](AdvControls& c, DlgAdvSetting&) {
             return std::vector<Step>{Do([&c] { MoveSlider(c.dClick, 7); }), Do([&c] { MoveSlider(c.dClick, 5); }),
                                      Pause(2), Do([&c] { Click(c.done); })};
         },
         true},
        {"slider moved, Cancel",
         [](AdvControls& c, DlgAdvSetting&) {
             return std::vector<Step>{Do([&c] { MoveSlider(c.range, 5); }), Pause(2), Do([&c] { Click(c.cancel); })};
         },
         false},
        {"box checked, close box",
         [](AdvControls& c, DlgAdvSetting& d) {
             return std::vector<Step>{Do([&c] { SetCheck(c.rightClick, false); }), Pause(2),
                                      Do([&d] { d.Close(false); })};
         },
         false},
    };
    LanguageDir lang(&english);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        DlgAdvSetting dialog(nullptr, VexoSource::ChosenDevice());
        ASSERT_EQ(dialog.Initialize(), 1);
        AdvControls c = ControlsOf(dialog);
        auto trace = RunModal(dialog, r.script(c, dialog));
        EXPECT_EQ(!SentNothing(trace), r.writes);
        if (r.writes) {
            const auto* set = Find(trace, "SetEffects");
            ASSERT_NE(set, nullptr);
            EXPECT_EQ(Value(PayloadAs<EffectsRecord>(*set).msDClickDelay), 500u);
        }
    }
}

TEST_F(AdvSettingTest, MissingPenItemIsCreatedOnOpening) {
    sim->Edit([](touchsim::DeviceModel& m) { m.multiConfig.erase(2); });
    LanguageDir lang(&english);
    DlgAdvSetting dialog(nullptr, VexoSource::ChosenDevice());
    ASSERT_EQ(dialog.Initialize(), 1);
    const auto trace = sim->Trace();
    EXPECT_EQ(Names(trace),
              (std::vector<std::string>{"GetDeviceConfig", "GetEffects", "GetMultiConfig", "SetMultiConfig"}));
    const auto* set = Find(trace, "SetMultiConfig");
    ASSERT_NE(set, nullptr);
    const MultiConfigRecord item = PayloadAs<MultiConfigRecord>(*set);
    EXPECT_EQ(Value(item.itemId), 2u);
    EXPECT_EQ(Value(item.length), 40u);
    EXPECT_EQ(Value(item.mark), kMultiConfigMark);
    EXPECT_EQ(FirstWord(item), 0u);
    EXPECT_FALSE(ControlsOf(dialog).pen->GetValue());
}

TEST_F(AdvSettingTest, AnUnreadDeviceOpensNoDialogAndWritesNothing) {
    // Opened at the sliders' minimums, a dialog whose reads failed would write those over the
    // device's settings on Done. It says so and does not open. Each unanswered read waits out
    // the channel's bound, as against a busy service.
    const struct {
        const char* name;
        std::function<void(touchsim::Simulator&)> fault;
        std::vector<std::string> calls;
    } rows[] = {
        {"the service answers nothing", [](touchsim::Simulator& s) { s.Unplug(); }, {"GetDeviceConfig"}},
        {"the effects are not answered", [](touchsim::Simulator& s) { s.DropNextReply(GetEffects); },
         {"GetDeviceConfig", "GetEffects"}},
        {"the pen item is not answered", [](touchsim::Simulator& s) { s.DropNextReply(GetMultiConfig); },
         {"GetDeviceConfig", "GetEffects", "GetMultiConfig"}},
    };
    LanguageDir lang(&english);
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        sim->ClearTrace();
        r.fault(*sim);
        LogCapture log;
        MessageBoxes boxes;
        DlgAdvSetting dialog(nullptr, VexoSource::ChosenDevice());
        EXPECT_EQ(dialog.Initialize(), 0) << "the opener shows nothing";
        sim->Plug();
        EXPECT_EQ(dialog.Shown(), 0);
        EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"The advanced settings could not be read from the device, "
                                                          "so they cannot be changed now. Please try again later."});
        EXPECT_TRUE(log.Contains("Advanced Setting -> not opened: the device's settings could not be read"));
        EXPECT_EQ(Names(sim->Trace()), r.calls) << "nothing written, the device not reset";
    }
}

TEST_F(AdvSettingTest, TextsComeFromTheLanguageFileWithTheirFallbacks) {
    std::string partial = kFullEnglish;
    for (const std::string cut : {"<Double_Click_Speed>Double Click Speed</Double_Click_Speed>", "<Worse>Worse</Worse>"})
        partial.erase(partial.find(cut), cut.size());
    partial.replace(partial.find("<Fast>Fast</Fast>"), std::strlen("<Fast>Fast</Fast>"), "<Fast>Quick</Fast>");
    {
        LanguageDir lang(&partial);
        DlgAdvSetting dialog(nullptr, VexoSource::ChosenDevice());
        ASSERT_EQ(dialog.Initialize(), 1);
        AdvControls c = ControlsOf(dialog);
        EXPECT_EQ(dialog.GetTitle(), wxT("Advanced Setting"));
        // The texts are found where the layout puts them (they share the static-text id).
        auto textAt = [&dialog](int x, int y) {
            wxWindow* text = ChildAt(&dialog, wxPoint(x, y));
            return text ? text->GetLabel() : wxString(wxT("(nothing there)"));
        };
        EXPECT_EQ(textAt(18, 97), wxT("Double Click Speed"));  // built as "Doule Click Speed"
        EXPECT_EQ(textAt(18, 119), wxT("Quick"));
        EXPECT_EQ(textAt(176, 72), wxT("Worsen"));
    }
    {
        LanguageDir lang(nullptr);  // no language file: the dialog is not shown at all
        DlgAdvSetting dialog(nullptr, VexoSource::ChosenDevice());
        EXPECT_EQ(dialog.Initialize(), 0);
        EXPECT_EQ(dialog.GetTitle(), wxT("Modal dialog"));
    }
}

TEST_F(AdvSettingTest, ControlsFollowTheLayoutTable) {
    LanguageDir lang(&english);
    wxDialog parent(nullptr, wxID_ANY, wxT("parent"), wxPoint(100, 100), wxSize(500, 500));
    DlgAdvSetting dialog(&parent, VexoSource::ChosenDevice());
    ASSERT_EQ(dialog.Initialize(), 1);
    EXPECT_EQ(dialog.GetParent(), &parent);
    EXPECT_EQ(dialog.GetSize(), wxSize(363, 253));
    AdvControls c = ControlsOf(dialog);
    struct Row {
        int x, y, id;
    } rows[] = {
        {179, 168, -1}, {258, 168, -1}, {12, 12, 5105},  {18, 27, -1},   {180, 27, -1},   {18, 97, 5105},
        {176, 97, 5105}, {18, 53, 5105}, {176, 53, 5105}, {18, 72, 5105},  {18, 119, 5105}, {142, 119, 5105},
        {176, 119, 5105}, {295, 119, 5105}, {142, 72, 5105}, {176, 72, 5105}, {295, 72, 5105}, {55, 68, 10006},
        {55, 114, 10007}, {211, 114, 10005}, {211, 68, 10004},
    };
    ASSERT_EQ(c.all.size(), 21u);
    // Every control of the table where the table puts it (the children list is the Tab order, below).
    for (size_t i = 0; i < 21; ++i) {
        const auto at = std::find_if(c.all.begin(), c.all.end(), [&](wxWindow* w) {
            return w->GetPosition() == wxPoint(rows[i].x, rows[i].y);
        });
        ASSERT_NE(at, c.all.end()) << "control " << i + 1;
        if (rows[i].id != -1) {
            EXPECT_EQ((*at)->GetId(), rows[i].id) << "control " << i + 1;
        }
    }
    // Tab goes as the dialog is read: the two options, the sliders row by row, Done, Cancel.
    std::vector<wxWindow*> tabStops;
    for (wxWindow* w : c.all)
        if (w->AcceptsFocusFromKeyboard()) tabStops.push_back(w);
    EXPECT_EQ(tabStops, (std::vector<wxWindow*>{c.rightClick, c.pen, c.rClick, c.smooth, c.dClick, c.range, c.done,
                                                c.cancel}));
    const struct {
        wxSlider* slider;
        int minimum, maximum;
    } ranges[] = {{c.rClick, 8, 32}, {c.dClick, 3, 7}, {c.range, 1, 5}, {c.smooth, 0, 6}};
    for (const auto& r : ranges) {
        EXPECT_EQ(r.slider->GetMin(), r.minimum);
        EXPECT_EQ(r.slider->GetMax(), r.maximum);
    }
}

// With the shipped texts in either language every text is readable: none is cut by the size the
// layout gives its control, and none runs into another text, a slider or a button.
TEST_F(AdvSettingTest, ShippedTextsFitTheirPlacesInBothLanguages) {
    for (const char* language : {"English", "Chinese"}) {
        apptest::AppEnvironment env(language);
        wxDialog parent(nullptr, wxID_ANY, wxT("parent"), wxPoint(100, 100), wxSize(500, 500));
        DlgAdvSetting dialog(&parent, VexoSource::ChosenDevice());
        ASSERT_EQ(dialog.Initialize(), 1) << language;
        dialog.Show();
        Pump(kShortMs);
        // What each control draws: a text and the mark beside it, a button's frame, a slider's
        // track of the layout's height, centred in a slider grown to the toolkit's minimum.
        struct Drawn {
            std::string name;
            wxRect rect;
        };
        std::vector<Drawn> drawn;
        for (wxWindow* w : dialog.GetChildren()) {
            if (dynamic_cast<wxStaticBox*>(w)) continue;
            const std::string name = std::string(language) + " '" + ToUtf8(w->GetLabel()) + "'";
            if (dynamic_cast<wxSlider*>(w) || dynamic_cast<wxButton*>(w)) {
                const int height = dynamic_cast<wxSlider*>(w) ? 25 : w->GetSize().y;
                drawn.push_back({name, wxRect(w->GetPosition().x, w->GetPosition().y + (w->GetSize().y - height) / 2,
                                              w->GetSize().x, height)});
                continue;
            }
            const int mark = dynamic_cast<wxCheckBox*>(w) ? 20 : 0;
            const wxSize extent = w->GetTextExtent(w->GetLabel());
            EXPECT_LE(extent.x + mark, w->GetSize().x) << name << " is cut";
            EXPECT_LE(extent.y, w->GetSize().y) << name << " is cut";
            drawn.push_back({name, wxRect(w->GetPosition(), wxSize(extent.x + mark, extent.y))});
        }
        ASSERT_EQ(drawn.size(), 20u) << language;
        const wxRect client(wxPoint(0, 0), dialog.GetClientSize());
        for (const Drawn& d : drawn) {
            EXPECT_TRUE(client.Contains(d.rect)) << d.name << " lies inside the window";
            for (const Drawn& other : drawn) {
                if (&other == &d) continue;
                EXPECT_FALSE(d.rect.Intersects(other.rect)) << d.name << " runs into " << other.name;
            }
        }
    }
}
