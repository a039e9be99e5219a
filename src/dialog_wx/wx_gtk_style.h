// The dialog's look on GTK: controls as compact as the dialog-unit layout
// needs, for this window only.
#pragma once

#include <wx/gdicmn.h>

class wxWindow;

namespace qlr {

// Lets buttons, fields, the arrows, the list and the bar fit a row of
// `rowHeight` pixels without clipping, and centres the group boxes'
// captions. Message boxes and file dialogs keep the desktop's look.
void ApplyCompactStyle(wxWindow& dialog, int rowHeight);

// The smallest size GTK can draw the control in with its current style;
// in anything smaller its content is clipped.
wxSize NativeMinimumSize(wxWindow& control);

}  // namespace qlr
