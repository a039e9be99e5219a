#include "dialog_wx/icon.h"

#include <wx/icon.h>

#include "dialog_wx/icon_xpm.h"

namespace qlr {

wxIconBundle AppIcons() {
  wxIconBundle icons;
  icons.AddIcon(wxIcon(icon::Icon32));
  icons.AddIcon(wxIcon(icon::Icon16));
  return icons;
}

}  // namespace qlr
