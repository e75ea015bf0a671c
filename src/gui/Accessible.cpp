#include "gui/Accessible.h"

#include <wx/control.h>

#include "device/AccessKeyRules.h"
#include "gui/DialogFont.h"
#include "gui/WxText.h"

// Last: GTK's headers after the toolkit's.
#include <gtk/gtk.h>

namespace {

GtkWidget* WidgetOf(wxWindow* control) { return control ? static_cast<GtkWidget*>(control->GetHandle()) : nullptr; }

void FindFirst(GtkWidget* widget, gpointer data) {
    auto** found = static_cast<GtkWidget**>(data);
    if (*found) return;
    if (GTK_IS_ENTRY(widget) || GTK_IS_RANGE(widget)) {
        *found = widget;
        return;
    }
    if (GTK_IS_CONTAINER(widget)) gtk_container_forall(GTK_CONTAINER(widget), FindFirst, data);
}

// The widget a listener meets: the one that takes the focus. wx wraps some controls in a box (a
// slider), and a combo box with an entry focuses its entry.
GtkWidget* FocusWidgetOf(wxWindow* control) {
    GtkWidget* widget = WidgetOf(control);
    if (!widget || GTK_IS_ENTRY(widget) || GTK_IS_RANGE(widget) || !GTK_IS_CONTAINER(widget) || GTK_IS_BUTTON(widget))
        return widget;
    GtkWidget* inner = nullptr;
    gtk_container_forall(GTK_CONTAINER(widget), FindFirst, &inner);
    return inner ? inner : widget;
}

AtkObject* AccessibleOf(GtkWidget* widget) { return widget ? gtk_widget_get_accessible(widget) : nullptr; }

// Drops every relation of `type` from `object`'s own set (those the toolkit guessed).
void DropRelations(AtkObject* object, AtkRelationType type) {
    AtkRelationSet* set = atk_object_ref_relation_set(object);
    if (!set) return;
    while (AtkRelation* relation = atk_relation_set_get_relation_by_type(set, type))
        atk_relation_set_remove(set, relation);
    g_object_unref(set);
}

void Name(GtkWidget* widget, const wxString& name) {
    if (AtkObject* object = AccessibleOf(widget)) atk_object_set_name(object, name.utf8_str());
}

}  // namespace

wxString CaptionAsName(const wxString& caption) {
    wxString name = caption;
    while (!name.empty()) {
        const wxUniChar last = name.Last();
        if (last == ' ' || last == ':' || last == wxUniChar(0xFF1A) || last == '\t')
            name.RemoveLast();
        else
            break;
    }
    name.Trim(false);
    // A mnemonic marker is not part of what is said.
    wxString plain;
    for (size_t k = 0; k < name.length(); ++k) {
        if (name[k] == '&' && k + 1 < name.length()) ++k;
        plain += name[k];
    }
    return plain;
}

void SetAccessibleName(wxWindow* control, const wxString& name) {
    GtkWidget* outer = WidgetOf(control);
    GtkWidget* inner = FocusWidgetOf(control);
    // Both: a listener may meet the control's outer object (a combo box) or the one with the focus.
    Name(outer, name);
    if (inner != outer) Name(inner, name);
}

void SetAccessibleDescription(wxWindow* control, const wxString& description) {
    GtkWidget* outer = WidgetOf(control);
    GtkWidget* inner = FocusWidgetOf(control);
    for (GtkWidget* widget : {outer, inner})
        if (AtkObject* object = AccessibleOf(widget)) atk_object_set_description(object, description.utf8_str());
}

void SetAccessibleRole(wxWindow* control, AccessibleRole role) {
    AtkObject* object = AccessibleOf(WidgetOf(control));
    if (!object) return;
    AtkRole atkRole = ATK_ROLE_FRAME;
    switch (role) {
        case AccessibleRole::Frame: atkRole = ATK_ROLE_FRAME; break;
        case AccessibleRole::Dialog: atkRole = ATK_ROLE_DIALOG; break;
        case AccessibleRole::Alert: atkRole = ATK_ROLE_ALERT; break;
        case AccessibleRole::Label: atkRole = ATK_ROLE_LABEL; break;
    }
    atk_object_set_role(object, atkRole);
}

void LinkCaption(wxWindow* caption, wxWindow* control) {
    if (!caption || !control) return;
    const wxString name = CaptionAsName(caption->GetLabel());
    SetAccessibleName(control, name);
    AtkObject* label = AccessibleOf(WidgetOf(caption));
    if (!label) return;
    DropRelations(label, ATK_RELATION_LABEL_FOR);
    GtkWidget* outer = WidgetOf(control);
    GtkWidget* inner = FocusWidgetOf(control);
    for (GtkWidget* widget : {outer, inner}) {
        AtkObject* object = AccessibleOf(widget);
        if (!object) continue;
        DropRelations(object, ATK_RELATION_LABELLED_BY);
        atk_object_add_relationship(object, ATK_RELATION_LABELLED_BY, label);
        if (widget == inner) atk_object_add_relationship(label, ATK_RELATION_LABEL_FOR, object);
        if (inner == outer) break;
    }
}

namespace {
void NoFocus(GtkWidget* widget, gpointer) {
    gtk_widget_set_can_focus(widget, FALSE);
    if (GTK_IS_CONTAINER(widget)) gtk_container_forall(GTK_CONTAINER(widget), NoFocus, nullptr);
}

void NoFocusButEntry(GtkWidget* widget, gpointer) {
    if (GTK_IS_ENTRY(widget)) return;
    gtk_widget_set_can_focus(widget, FALSE);
    if (GTK_IS_CONTAINER(widget)) gtk_container_forall(GTK_CONTAINER(widget), NoFocusButEntry, nullptr);
}
}  // namespace

void SkipOnTab(wxWindow* control) {
    if (!control) return;
    // wx leaves a control that refuses keyboard focus out of the window's focus chain.
    control->DisableFocusFromKeyboard();
    if (GtkWidget* widget = WidgetOf(control)) NoFocus(widget, nullptr);
}

void OneStopForComboBox(wxWindow* comboBox) {
    GtkWidget* widget = WidgetOf(comboBox);
    if (!widget || !GTK_IS_CONTAINER(widget)) return;
    gtk_container_forall(GTK_CONTAINER(widget), NoFocusButEntry, nullptr);
}

namespace {
// The label a control shows its text in: a static text is one, a button or check box holds one.
GtkLabel* LabelOf(GtkWidget* widget) {
    if (!widget) return nullptr;
    if (GTK_IS_LABEL(widget)) return GTK_LABEL(widget);
    if (GTK_IS_BIN(widget)) {
        GtkWidget* child = gtk_bin_get_child(GTK_BIN(widget));
        if (child && GTK_IS_LABEL(child)) return GTK_LABEL(child);
    }
    return nullptr;
}
}  // namespace

void ShowAccessKey(wxWindow* control, char letter, wxWindow* target) {
    GtkWidget* widget = WidgetOf(control);
    GtkLabel* label = LabelOf(widget);
    if (!label) return;
    // The text without wx's own '&' markers, which no text of ours carries anyway.
    const wxString plain = wxControl::RemoveMnemonics(control->GetLabel());
    const std::u16string shown = VexoSource::WithAccessKey(FromWx(plain), letter);
    gtk_label_set_text_with_mnemonic(label, ToWx(shown).utf8_str());
    // A caption's key focuses its control. A button's own label needs no link: GTK activates the
    // button it sits in.
    if (GtkWidget* focused = target ? FocusWidgetOf(target) : nullptr) gtk_label_set_mnemonic_widget(label, focused);
    // A check box or radio button lays its longer text out in the size it has (GTK complains when
    // that is less than its minimum); a push button keeps its layout size.
    if (GTK_IS_TOGGLE_BUTTON(widget)) GrowToToolkitMinimum(control);
    // What a listener hears is the text, not the "(D)" that a Chinese text shows its key with.
    Name(widget, plain);
}

void ReturnFocus(wxWindow* opener, wxWindow* fallback) {
    wxWindow* target = opener && opener->IsEnabled() ? opener : fallback;
    if (!target || !target->IsEnabled()) return;
    wxWindow* top = wxGetTopLevelParent(target);
    // A window that is closing keeps nothing.
    if (!top || !top->IsShown() || top->IsBeingDeleted()) return;
    target->SetFocus();
}
