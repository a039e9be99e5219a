#include "app/message_table.h"

#include <array>

namespace qlr {
namespace {

struct Entry {
  const char* text;
  MessageKind kind;
};

constexpr std::array<Entry, LastMessage> Table{{
    {"unable to acces COM%d", MessageKind::Notice},
    {"unable to find QLR5500 (connected ? powered ON ?)", MessageKind::Notice},
    {"unable to read from QLR5500-EEPROM", MessageKind::Notice},
    {"failed to write QLR-data to file", MessageKind::Notice},
    {"failed to read QLR-data from file", MessageKind::Notice},
    {"the EEPROM contents is identical to the file", MessageKind::Notice},
    {"the EEPROM contents differs in %d bytes from the file", MessageKind::ErrorNotice},
    {"unable to write to QLR5500-EEPROM", MessageKind::Notice},
    {"this will read the contents of the QLR5500 EEPROM and save it to a file.\n\ncontinue ?",
     MessageKind::Confirmation},
    {"this will compare the contents of the QLR5500 EEPROM with a file.\n\ncontinue ?",
     MessageKind::Confirmation},
    {"this will read a file into the QLR5500 EEPROM.\n\ncontinue ?", MessageKind::Confirmation},
    {"this will read some medium values into the QLR5500 EEPROM for the bad case the original "
     "values are lost.\n\ncontinue ?",
     MessageKind::Confirmation},
}};

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
