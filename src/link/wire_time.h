// The ideal time of an EEPROM transfer on the wire.
//
// A real line moves 11 bits per character (start, 8 data, 2 stop) at the
// speed of the receiver's mode: 9600 baud normally, 38400 in service mode.
// The ideal of a transfer is every command and answer character at that
// rate (the rows of receiver_commands.h count them) plus the pauses the
// protocol demands (20 ms before each change of speed); a measured time against it shows the overhead of the link, the
// driver and the adapter.
#pragma once

#include "link/receiver_commands.h"

namespace qlr::wire {

constexpr double CharacterSeconds(double baud) { return 11.0 / baud; }

// Characters on the wire, by speed.
struct Wire {
  double normalChars = 0;   // at 9600
  double serviceChars = 0;  // at 38400
  double pauses = 0;        // seconds

  constexpr double Seconds() const {
    return normalChars * CharacterSeconds(9600) + serviceChars * CharacterSeconds(38400) + pauses;
  }
};

// Characters of one command and its answer.
constexpr int Exchange(const command::Command& row) { return row.SentChars() + row.AnswerChars(); }

// One entry to service mode and the way back.
constexpr Wire EntryAndExit() {
  Wire wire;
  wire.normalChars = Exchange(command::PrepareService) + Exchange(command::EnterService);
  wire.serviceChars =
      Exchange(command::ServiceStepOne) + Exchange(command::ServiceStepTwo) + Exchange(command::LeaveService);
  // The presence check that confirms the way back.
  wire.normalChars += Exchange(command::Presence);
  wire.pauses = 2 * 0.020;  // before each change of speed
  return wire;
}

// Reading `addresses` addresses in one service-mode session.
constexpr double IdealReadSeconds(int addresses = 128) {
  Wire wire = EntryAndExit();
  wire.serviceChars += addresses * Exchange(command::ReadAddress);
  return wire.Seconds();
}

// Writing `addresses` addresses in one session, each read back.
constexpr double IdealWriteSeconds(int addresses = 128) {
  Wire wire = EntryAndExit();
  wire.serviceChars += addresses * (Exchange(command::WriteAddress) + Exchange(command::ReadAddress));
  return wire.Seconds();
}

// The same with each old value read again first, in the same session, as a
// write that keeps a backup does.
constexpr double IdealConfirmedWriteSeconds(int addresses = 128) {
  return IdealWriteSeconds(addresses) + addresses * Exchange(command::ReadAddress) * CharacterSeconds(38400);
}

// One region query at 9600 baud.
constexpr double IdealRegionSeconds() { return Exchange(command::Region) * CharacterSeconds(9600); }

// One presence check at 9600 baud.
constexpr double IdealPresenceSeconds() { return Exchange(command::Presence) * CharacterSeconds(9600); }

}  // namespace qlr::wire
