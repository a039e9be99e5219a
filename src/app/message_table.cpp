#include "app/message_table.h"

#include <array>

namespace qlr {
namespace {

struct Entry {
  MessageNumber number;
  const char* text;
  MessageKind kind;
};

constexpr std::array<Entry, LastMessage> Table{{
    {MsgPortUnavailable, "unable to acces COM%d", MessageKind::Notice},
    {MsgReceiverNotFound, "unable to find QLR5500 (connected ? powered ON ?)", MessageKind::Notice},
    {MsgEepromReadFailed, "unable to read from QLR5500-EEPROM", MessageKind::Notice},
    {MsgFileWriteFailed, "failed to write QLR-data to file", MessageKind::Notice},
    {MsgFileReadFailed, "failed to read QLR-data from file", MessageKind::Notice},
    {MsgIdentical, "the EEPROM contents is identical to the file", MessageKind::Notice},
    {MsgDiffers, "the EEPROM contents differs in %d bytes from the file", MessageKind::ErrorNotice},
    {MsgEepromWriteFailed, "unable to write to QLR5500-EEPROM", MessageKind::Notice},
    {MsgConfirmSave, "this will read the contents of the QLR5500 EEPROM and save it to a file.\n\ncontinue ?",
     MessageKind::Confirmation},
    {MsgConfirmCompare, "this will compare the contents of the QLR5500 EEPROM with a file.\n\ncontinue ?",
     MessageKind::Confirmation},
    {MsgConfirmRestore, "this will read a file into the QLR5500 EEPROM.\n\ncontinue ?", MessageKind::Confirmation},
    {MsgConfirmMediumValues,
     "this will read some medium values into the QLR5500 EEPROM for the bad case the original "
     "values are lost.\n\ncontinue ?",
     MessageKind::Confirmation},
}};

// Row n - 1 holds message n, so that LoadMessage can index the table.
constexpr bool RowsInNumberOrder() {
  for (std::size_t row = 0; row < Table.size(); ++row) {
    if (Table[row].number != static_cast<int>(row) + FirstMessage) return false;
  }
  return true;
}
static_assert(RowsInNumberOrder());

}  // namespace

Message LoadMessage(int number, int value) {
  if (number < FirstMessage || number > LastMessage) return {number, {}, MessageKind::Notice};
  const Entry& entry = Table[static_cast<std::size_t>(number - FirstMessage)];
  // Plain substitution, not printf: the table's texts are never a format.
  std::string text = entry.text;
  const std::string decimal = std::to_string(value);
  for (std::size_t at = text.find("%d"); at != std::string::npos; at = text.find("%d", at + decimal.size())) {
    text.replace(at, 2, decimal);
  }
  return {number, std::move(text), entry.kind};
}

}  // namespace qlr
