// The receiver's commands as they go on the wire, each ended by CR LF.
#pragma once

namespace qlr::command {

// "G000" when a receiver listens: the presence check.
inline constexpr char Presence[] = "H101\r\n";
// Answered by "GExx", the region code in two hex digits.
inline constexpr char Region[] = "GE?\r\n";
// The entry into service mode: "G000" to the first, no answer to the
// second (the receiver then changes to 38400 baud), "G001" to the last two.
inline constexpr char PrepareService[] = "G300\r\n";
inline constexpr char EnterService[] = "G105\r\n";
inline constexpr char ServiceStepOne[] = "GC01\r\n";
inline constexpr char ServiceStepTwo[] = "GCF0\r\n";
// Back to normal operation at 9600 baud; no answer.
inline constexpr char LeaveService[] = "H100\r\n";
// printf formats in service mode: read an address ("LD0aavv" answers),
// write a value to one ("G000" answers).
inline constexpr char ReadAddressFormat[] = "LD0%02X?\r\n";
inline constexpr char WriteAddressFormat[] = "LD0%02X%02X\r\n";

}  // namespace qlr::command
