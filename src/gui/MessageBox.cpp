#include "gui/MessageBox.h"

#include <wx/msgdlg.h>
#include <wx/stockitem.h>
#include <wx/utils.h>
#include <wx/weakref.h>

#include "gui/WindowPlacement.h"
#include "gui/WxText.h"

// Last: GTK's headers after the toolkit's.
#include <gtk/gtk.h>

namespace {
MessageBoxHandler& Handler() {
    static MessageBoxHandler handler;
    return handler;
}

// A box shown while no window of ours is visible (a start-up message, the lost device) has no
// window to stand over. A window manager places it in the middle; without one it would stay at
// the display's top-left corner. Asked to centre itself once it is realized (that is, before
// GTK works out where to show it; a hook on "show" would come too late: the class handler that
// places and maps the window runs before emission hooks), it goes to the middle of the display
// under every manager and without any.
gboolean CentreBoxWithoutOwner(GSignalInvocationHint*, guint count, const GValue* params, gpointer) {
    if (count == 0) return TRUE;
    GObject* object = static_cast<GObject*>(g_value_get_object(&params[0]));
    if (!object || !GTK_IS_MESSAGE_DIALOG(object)) return TRUE;
    if (!gtk_window_get_transient_for(GTK_WINDOW(object))) gtk_window_set_position(GTK_WINDOW(object), GTK_WIN_POS_CENTER);
    // GTK names a message box by its kind ("Question"); a screen reader should say whose it is.
    if (const gchar* title = gtk_window_get_title(GTK_WINDOW(object)))
        atk_object_set_name(gtk_widget_get_accessible(GTK_WIDGET(object)), title);
    return TRUE;  // stays installed until the box has ended
}

// The buttons' texts from the toolkit's translations (UseInterfaceLanguageForToolkit), which
// follow the interface's language. Left to GTK, they would be its stock items, translated by the
// system locale alone.
void SetButtonTexts(wxMessageDialog& dialog, long style) {
    const wxString ok = wxGetStockLabel(wxID_OK), cancel = wxGetStockLabel(wxID_CANCEL);
    if (style & wxYES_NO) {
        const wxString yes = wxGetStockLabel(wxID_YES), no = wxGetStockLabel(wxID_NO);
        if (style & wxCANCEL)
            dialog.SetYesNoCancelLabels(yes, no, cancel);
        else
            dialog.SetYesNoLabels(yes, no);
    } else if (style & wxCANCEL) {
        dialog.SetOKCancelLabels(ok, cancel);
    } else {
        dialog.SetOKLabel(ok);
    }
}
}  // namespace

int VexoMessageBox(const wxString& text, const wxString& caption, long style) {
    if (Handler()) return Handler()(text, caption, style);
    // wxMessageBox's own steps (the icon it adds, the answer codes), plus one: once the box is up
    // it is brought to the front with the keyboard focus. Without a window manager nobody gives
    // a new window the focus, and Return or Escape would go to the window behind.
    if (!(style & wxICON_NONE) && !(style & wxICON_MASK)) style |= (style & wxYES) ? wxICON_QUESTION : wxICON_INFORMATION;
    wxWeakRef<wxWindow> before(wxGetActiveWindow() ? wxGetTopLevelParent(wxGetActiveWindow()) : nullptr);
    // A box without a title would be read out (and listed by the desktop) as "Question" or as
    // nothing: it carries the program's name, in the interface's language.
    const wxString title = caption.empty() ? LangText("QlnCfg", u"Touch Frame Configuration") : caption;
    wxMessageDialog dialog(nullptr, text, title, style);
    SetButtonTexts(dialog, style);
    dialog.CallAfter([&dialog] { dialog.Raise(); });
    const guint realizeSignal = g_signal_lookup("realize", GTK_TYPE_WIDGET);
    const gulong hook = g_signal_add_emission_hook(realizeSignal, 0, CentreBoxWithoutOwner, nullptr, nullptr);
    const int answer = dialog.ShowModal();
    g_signal_remove_emission_hook(realizeSignal, hook);
    GiveFocusBack(before.get());
    switch (answer) {
    case wxID_OK:
        return wxOK;
    case wxID_YES:
        return wxYES;
    case wxID_NO:
        return wxNO;
    case wxID_HELP:
        return wxHELP;
    default:
        return wxCANCEL;
    }
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
    MessageBoxHandler previous = std::move(Handler());
    Handler() = std::move(handler);
    return previous;
}
