// What a screen reader learns about our controls, where wx on GTK offers no way to say it: names,
// descriptions, roles and caption links, set on the controls' ATK objects (GTK's accessibility
// bridge hands them to AT-SPI).
#pragma once

#include <wx/string.h>
#include <wx/window.h>

enum class AccessibleRole { Frame, Dialog, Alert, Label };

// The name a listener hears for `control`. A caption's trailing ':' is left out.
void SetAccessibleName(wxWindow* control, const wxString& name);
void SetAccessibleDescription(wxWindow* control, const wxString& description);
void SetAccessibleRole(wxWindow* control, AccessibleRole role);

// `caption` names `control`: the control gets the caption's text as its name (without the ':')
// and the two are linked (labelled-by / label-for), replacing any link the toolkit guessed from
// the order of creation.
void LinkCaption(wxWindow* caption, wxWindow* control);

// The caption's text as a name: trailing blanks and colons (also the full-width one) cut off.
wxString CaptionAsName(const wxString& caption);

// Takes `control` (a read-only value, a static box) out of the Tab order; a screen reader still
// reads it. Also its inner widgets (a combo box's arrow).
void SkipOnTab(wxWindow* control);

// A combo box with an entry has two Tab stops, the entry and the arrow button; keeps the entry,
// which opens the list with Alt+Down and steps through it with the arrow keys.
void OneStopForComboBox(wxWindow* comboBox);

// Shows `control`'s text with the Alt-letter access key `letter` (GTK's underline), without
// changing the text wx holds. A caption's key focuses `target` (the control it names); a button,
// check box or radio button is pressed by its own. Its accessible name stays the plain text.
void ShowAccessKey(wxWindow* control, char letter, wxWindow* target = nullptr);

// After a dialog or message that `opener` (a button) opened: the keyboard goes back to it, or to
// `fallback` when it can take none now (disabled). A window left active with no control focused
// sends the next Tab to its first control and Space presses whatever that is.
void ReturnFocus(wxWindow* opener, wxWindow* fallback);
