#include "dialog_wx/wx_gtk_style.h"

#include <gtk/gtk.h>
#include <wx/statbox.h>
#include <wx/window.h>

#include <string>

namespace qlr {
namespace {

constexpr const char* WidgetName = "qlr-eeprom-dialog";

// GTK's theme asks for about 34 px per control; the layout gives 20.
std::string CompactCss(int rowHeight) {
  const std::string scope = std::string("#") + WidgetName + " ";
  const int bar = rowHeight > 4 ? rowHeight - 4 : rowHeight;
  std::string css;
  for (const char* node : {"button", "entry", "spinbutton", "spinbutton button", "combobox", "combobox button",
                           "combobox entry", "progressbar"}) {
    css += scope + node + " { min-height: 0; min-width: 0; padding-top: 0; padding-bottom: 0; }\n";
  }
  css += scope + "button { padding-left: 4px; padding-right: 4px; }\n";
  css += scope + "entry { padding-left: 3px; padding-right: 3px; }\n";
  css += scope + "spinbutton button { padding-left: 2px; padding-right: 2px; }\n";
  // A bar that fills its row rather than GTK's thin line.
  css +=
      scope + "progressbar trough, " + scope + "progressbar progress { min-height: " + std::to_string(bar) + "px; }\n";
  return css;
}

}  // namespace

void ApplyCompactStyle(wxWindow& dialog, int rowHeight) {
  GtkWidget* window = dialog.GetHandle();
  if (!window) return;
  gtk_widget_set_name(window, WidgetName);
  // One provider for the process, added for the screen but scoped by the
  // window's name: the rules reach this window's descendants and nothing else.
  static GtkCssProvider* const provider = [window] {
    GtkCssProvider* created = gtk_css_provider_new();
    gtk_style_context_add_provider_for_screen(gtk_widget_get_screen(window), GTK_STYLE_PROVIDER(created),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    return created;
  }();
  const std::string css = CompactCss(rowHeight);
  gtk_css_provider_load_from_data(provider, css.c_str(), -1, nullptr);

  for (wxWindow* child : dialog.GetChildren()) {
    if (auto* box = dynamic_cast<wxStaticBox*>(child)) {
      gtk_frame_set_label_align(GTK_FRAME(box->GetHandle()), 0.5f, 0.5f);
    }
  }
}

wxSize NativeMinimumSize(wxWindow& control) {
  GtkWidget* widget = control.GetHandle();
  if (!widget) return wxDefaultSize;
  gint width = 0;
  gint height = 0;
  gtk_widget_get_preferred_width(widget, &width, nullptr);
  gtk_widget_get_preferred_height(widget, &height, nullptr);
  return wxSize(width, height);
}

}  // namespace qlr
