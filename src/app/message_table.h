// The program's user-visible texts: twelve messages addressed by number.
//
// Numbers 1 and 2 belong to the port controls, 3 to 12 to the EEPROM
// actions. Texts stand exactly as users have always seen them, spelling
// included.
#pragma once

#include <string>

namespace qlr {

enum MessageNumber : int {
  MsgPortUnavailable = 1,  // "%d" = port number
  MsgReceiverNotFound = 2,
  MsgEepromReadFailed = 3,
  MsgFileWriteFailed = 4,
  MsgFileReadFailed = 5,
  MsgIdentical = 6,
  MsgDiffers = 7,  // "%d" = number of differing bytes
  MsgEepromWriteFailed = 8,
  MsgConfirmSave = 9,
  MsgConfirmCompare = 10,
  MsgConfirmRestore = 11,
  MsgConfirmMediumValues = 12,
};

inline constexpr int FirstMessage = MsgPortUnavailable;
inline constexpr int LastMessage = MsgConfirmMediumValues;

// How a message is shown: Yes/No with the warning icon, OK with the warning
// icon, or OK with the error icon.
enum class MessageKind { Confirmation, Notice, ErrorNotice };

struct Message {
  int number = 0;
  std::string text;
  MessageKind kind = MessageKind::Notice;
};

// Message `number` with every "%d" replaced by `value` in decimal. A number
// outside 1..12 gives an empty notice rather than failing.
Message LoadMessage(int number, int value = 0);

}  // namespace qlr
