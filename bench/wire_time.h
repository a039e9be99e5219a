// The ideal time of a whole EEPROM transfer on the wire.
//
// The emulator paces the line like a real one (11 bits per character at the
// client's speed). The ideal is every command and answer character at that
// rate plus the pauses the protocol demands (20 ms before each change of
// speed); the ratio measured/ideal shows the link's own overhead.
#pragma once

namespace qlr::bench {

constexpr double CharacterSeconds(double baud) { return 11.0 / baud; }

// Characters on the wire of the entry and exit sequences, by speed.
struct Wire {
  double normalChars = 0;   // at 9600
  double serviceChars = 0;  // at 38400
  double pauses = 0;        // seconds

  double Seconds() const {
    return normalChars * CharacterSeconds(9600) + serviceChars * CharacterSeconds(38400) + pauses;
  }
};

inline Wire EntryAndExit() {
  Wire wire;
  wire.normalChars = 6 + 6 + 6;         // G300, its G000, G105
  wire.serviceChars = 2 * (6 + 6) + 6;  // GC01/GCF0 with their G001, H100
  wire.normalChars += 6 + 6;            // H101 and its G000
  wire.pauses = 2 * 0.020;              // before each change of speed
  return wire;
}

inline double IdealReadSeconds() {
  Wire wire = EntryAndExit();
  wire.serviceChars += 128 * (8 + 9);  // "LD0aa?\r\n", "LD0aavv\r\n"
  return wire.Seconds();
}

inline double IdealWriteSeconds() {
  Wire wire = EntryAndExit();
  wire.serviceChars += 128 * (9 + 6 + 8 + 9);  // write, G000, read-back, answer
  return wire.Seconds();
}

}  // namespace qlr::bench
