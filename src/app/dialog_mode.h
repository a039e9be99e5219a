// Runs the main dialog modally until the user closes it.
#pragma once

namespace qlr {

void RunDialogMode(int argc, char** argv);

}  // namespace qlr
