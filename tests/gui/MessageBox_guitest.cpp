// The program's message boxes as GTK shows them: their buttons speak the interface's language,
// whatever the system locale (the tests run in the C locale, where GTK's own stock buttons are
// English).
#include <gtest/gtest.h>

#include <wx/msgdlg.h>

#include <string>
#include <vector>

#include "config/ProcessConfig.h"
#include "gui/MessageBox.h"
#include "gui/ToolkitLanguage.h"
#include "guisupport/GuiTest.h"

// Last: GTK's headers after the toolkit's.
#include <gtk/gtk.h>

namespace {

// What a box showed, read from the GTK dialog while it is up, then answered with `answer`.
struct Shown {
    std::vector<std::string> labels;  // the buttons' labels, in the order of `responses`
    bool found = false;
};

struct BoxReader {
    std::vector<int> responses;  // GTK responses whose buttons are read
    int answer = GTK_RESPONSE_NO;
    Shown shown;
    int ticks = 0;
};

GtkWidget* ShownMessageDialog() {
    GList* windows = gtk_window_list_toplevels();
    GtkWidget* found = nullptr;
    for (GList* w = windows; w && !found; w = w->next)
        if (GTK_IS_MESSAGE_DIALOG(w->data) && gtk_widget_get_visible(GTK_WIDGET(w->data)))
            found = GTK_WIDGET(w->data);
    g_list_free(windows);
    return found;
}

// A GLib timeout: gtk_dialog_run's own loop serves it while the box is up.
gboolean ReadAndAnswer(gpointer data) {
    auto* reader = static_cast<BoxReader*>(data);
    GtkWidget* box = ShownMessageDialog();
    if (!box) return ++reader->ticks < 200 ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;  // 10 s, then the test fails
    reader->shown.found = true;
    for (int response : reader->responses) {
        GtkWidget* button = gtk_dialog_get_widget_for_response(GTK_DIALOG(box), response);
        const char* label = button && GTK_IS_BUTTON(button) ? gtk_button_get_label(GTK_BUTTON(button)) : nullptr;
        reader->shown.labels.push_back(label ? label : "(no button)");
    }
    gtk_dialog_response(GTK_DIALOG(box), reader->answer);
    return G_SOURCE_REMOVE;
}

class MessageBoxLanguage : public ::testing::Test {
protected:
    void SetUp() override { previous_ = SetMessageBoxHandler({}); }
    void TearDown() override {
        SetMessageBoxHandler(previous_);
        g_MultiLang.LanguagePrefix = "Lang:EN:";
        UseInterfaceLanguageForToolkit();
    }
    MessageBoxHandler previous_;
    guitest::ScreenLock screen_;  // the box takes the keyboard focus
};

TEST_F(MessageBoxLanguage, TheButtonsSpeakTheInterfaceLanguage) {
    struct Row {
        const char* name;
        const char* prefix;
        long style;
        std::vector<int> responses;
        int answer;
        int expected;  // what VexoMessageBox returns for the answer
        std::vector<std::string> labels;
    } rows[] = {
        {"Chinese question", "Lang:CN:", wxYES_NO, {GTK_RESPONSE_YES, GTK_RESPONSE_NO}, GTK_RESPONSE_YES, wxYES,
         {"\xE6\x98\xAF(_Y)", "\xE5\x90\xA6(_N)"}},  // 是(_Y), 否(_N)
        {"Chinese message", "Lang:CN:", wxOK, {GTK_RESPONSE_OK}, GTK_RESPONSE_OK, wxOK,
         {"\xE7\xA1\xAE\xE8\xAE\xA4(_O)"}},  // 确认(_O)
        {"English question", "Lang:EN:", wxYES_NO | wxNO_DEFAULT, {GTK_RESPONSE_YES, GTK_RESPONSE_NO},
         GTK_RESPONSE_NO, wxNO, {"_Yes", "_No"}},
        {"English message", "Lang:EN:", wxOK, {GTK_RESPONSE_OK}, GTK_RESPONSE_OK, wxOK, {"_OK"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        g_MultiLang.LanguagePrefix = r.prefix;
        UseInterfaceLanguageForToolkit();
        BoxReader reader;
        reader.responses = r.responses;
        reader.answer = r.answer;
        g_timeout_add(50, ReadAndAnswer, &reader);
        EXPECT_EQ(VexoMessageBox(wxT("Question"), wxEmptyString, r.style), r.expected);
        ASSERT_TRUE(reader.shown.found) << "no message box came up";
        EXPECT_EQ(reader.shown.labels, r.labels);
        guitest::Pump(guitest::kShortMs);
    }
}

}  // namespace
