#include "icon.h"

#include <wx/icon.h>

#include "icon_xpm.h"

namespace qlr {

wxIconBundle AppIcons() {
  wxIconBundle icons;
  icons.AddIcon(wxIcon(icon::Icon32));
  icons.AddIcon(wxIcon(icon::Icon16));
  return icons;
}

}  // namespace qlr
