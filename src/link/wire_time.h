// The ideal time of an EEPROM transfer on the wire.
//
// A real line moves 11 bits per character (start, 8 data, 2 stop) at the
// speed of the receiver's mode: 9600 baud normally, 38400 in service mode.
// The ideal of a transfer is every command and answer character at that
// rate plus the pauses the protocol demands (20 ms before each change of
// speed); a measured time against it shows the overhead of the link, the
// driver and the adapter.
#pragma once

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

// One entry to service mode and the way back.
constexpr Wire EntryAndExit() {
  Wire wire;
  wire.normalChars = 6 + 6 + 6;         // G300, its G000, G105
  wire.serviceChars = 2 * (6 + 6) + 6;  // GC01/GCF0 with their G001, H100
  wire.normalChars += 6 + 6;            // H101 and its G000
  wire.pauses = 2 * 0.020;              // before each change of speed
  return wire;
}

// Reading `addresses` addresses in one service-mode session.
constexpr double IdealReadSeconds(int addresses = 128) {
  Wire wire = EntryAndExit();
  wire.serviceChars += addresses * (8 + 9);  // "LD0aa?\r\n", "LD0aavv\r\n"
  return wire.Seconds();
}

// Writing `addresses` addresses in one session, each read back.
constexpr double IdealWriteSeconds(int addresses = 128) {
  Wire wire = EntryAndExit();
  wire.serviceChars += addresses * (9 + 6 + 8 + 9);  // write, G000, read-back, answer
  return wire.Seconds();
}

// One region query ("GE?" and its "GExx") at 9600 baud.
constexpr double IdealRegionSeconds() { return (5 + 6) * CharacterSeconds(9600); }

// One presence check ("H101" and its "G000") at 9600 baud.
constexpr double IdealPresenceSeconds() { return (6 + 6) * CharacterSeconds(9600); }

}  // namespace qlr::wire
