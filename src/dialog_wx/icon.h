// The program's icon for its window and taskbar entry.
#pragma once

#include <wx/iconbndl.h>

namespace qlr {

// The 32x32 and the 16x16 picture.
wxIconBundle AppIcons();

}  // namespace qlr
