// SaveQLR5500 built without a window toolkit: decide the mode from the
// command line, run it, end. There is no dialog to open: an empty command
// line ends at once, as any other that is not the snapshot's.
#include "app/command_tail.h"
#include "app/eeprom_app.h"

int main(int argc, char** argv) {
  qlr::CEepromApp app(qlr::ProgramCommandTail(argc, argv), nullptr);
  app.InitInstance();
  // The exit status carries no result, in either mode.
  return 0;
}
