// Builds without a toolkit have no dialog: dialog mode ends at once.
#include "app/dialog_mode.h"

namespace qlr {

void RunDialogMode(int, char**) {}

}  // namespace qlr
