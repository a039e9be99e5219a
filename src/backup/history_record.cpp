#include "backup/history_record.h"

#include <optional>
#include <vector>

#include "os/escaped_text.h"

#include "os/decimal.h"

namespace qlr {
namespace {

constexpr std::string_view Magic = "qlr5500-history";
constexpr int Version = 1;
constexpr std::string_view End = ".";
constexpr char Digits[] = "0123456789ABCDEF";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<std::uint8_t> HexByte(char high, char low) {
  if (HexValue(high) < 0 || HexValue(low) < 0) return std::nullopt;
  return static_cast<std::uint8_t>(HexValue(high) * 16 + HexValue(low));
}

std::optional<std::string> Unescaped(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (++i == text.size()) return std::nullopt;
    switch (text[i]) {
      case '\\': out += '\\'; break;
      case 't': out += '\t'; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 'x': {
        if (i + 2 >= text.size()) return std::nullopt;
        const std::optional<std::uint8_t> byte = HexByte(text[i + 1], text[i + 2]);
        if (!byte) return std::nullopt;
        out += static_cast<char>(*byte);
        i += 2;
        break;
      }
      default: return std::nullopt;
    }
  }
  return out;
}

std::string Hex(const EepromImage& image) {
  std::string out;
  for (const std::uint8_t byte : image) out += {Digits[byte >> 4], Digits[byte & 0xF]};
  return out;
}

std::optional<EepromImage> ImageOfHex(std::string_view text) {
  if (text.size() != 2 * EepromSize) return std::nullopt;
  EepromImage image{};
  for (std::size_t i = 0; i < EepromSize; ++i) {
    const std::optional<std::uint8_t> byte = HexByte(text[2 * i], text[2 * i + 1]);
    if (!byte) return std::nullopt;
    image[i] = *byte;
  }
  return image;
}

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  for (std::size_t start = 0;;) {
    const std::size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
    if (tab == std::string_view::npos) return fields;
    start = tab + 1;
  }
}

std::string Line(const std::vector<std::string>& fields) {
  std::string line = std::string(Magic) + "\t" + std::to_string(Version);
  for (const std::string& field : fields) line += "\t" + field;
  return line + "\t" + std::string(End) + "\n";
}

// Fills `record` from the fields after the kind, or says why it cannot.
bool ReadStarted(const std::vector<std::string_view>& f, ChangeRecord& record) {
  const auto time = Unescaped(f[4]), command = Unescaped(f[5]), argument = Unescaped(f[6]), device = Unescaped(f[7]);
  const auto region = ParseDecimal(f[8], 0, 255);
  const auto changed = ParseDecimal(f[9], 0, static_cast<int>(EepromSize));
  const auto before = ImageOfHex(f[10]), after = ImageOfHex(f[11]);
  if (!time || !command || !argument || !device || !region || !changed || !before || !after) return false;
  record = {std::string(f[3]), *time, *command, *argument, *device, *region, *changed, *before, *after};
  return true;
}

bool ReadCompletion(const std::vector<std::string_view>& f, bool done, Completion& completion) {
  const auto time = Unescaped(f[4]);
  if (!time) return false;
  completion.backupName = std::string(f[3]);
  completion.time = *time;
  completion.done = done;
  if (done) return true;
  const auto address = ParseDecimal(f[5], -1, static_cast<int>(EepromSize) - 1);
  const auto written = ParseDecimal(f[6], 0, static_cast<int>(EepromSize));
  const auto why = Unescaped(f[7]);
  if (!address || !written || !why) return false;
  completion.failedAddress = *address;
  completion.written = *written;
  completion.why = *why;
  return true;
}

}  // namespace

std::string EscapedField(std::string_view text) { return EscapedText(text, true); }

bool IsBackupName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (const char c : name) {
    const bool plain =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
    if (!plain) return false;
  }
  return true;
}

std::string StartedLine(const ChangeRecord& r) {
  return Line({"started", r.backupName, EscapedField(r.time), EscapedField(r.command), EscapedField(r.argument),
               EscapedField(r.device), std::to_string(r.region), std::to_string(r.changed), Hex(r.before),
               Hex(r.after)});
}

std::string CompletionLine(const Completion& c) {
  if (c.done) return Line({"done", c.backupName, EscapedField(c.time)});
  return Line({"failed", c.backupName, EscapedField(c.time), std::to_string(c.failedAddress), std::to_string(c.written),
               EscapedField(c.why)});
}

std::string SettlementLine(const Settlement& s) { return Line({"settled", s.backupName, EscapedField(s.time)}); }

HistoryLine ParseHistoryLine(std::string_view line) {
  const std::vector<std::string_view> f = Fields(line);
  if (f.size() < 2 || f[0] != Magic) return SkippedLine{"it is no history record"};
  const std::optional<int> version = ParseDecimal(f[1], 1, 999999);
  if (!version) return SkippedLine{"it is no history record"};
  if (*version > Version)
    return SkippedLine{"it was written by a newer qlr5500 (format " + std::to_string(*version) + ")"};
  if (f.back() != End) return SkippedLine{"it is cut short"};
  const bool named = f.size() > 3 && IsBackupName(f[3]);
  if (named && f[2] == "started" && f.size() == 13) {
    ChangeRecord record;
    if (ReadStarted(f, record)) return record;
  } else if (named && f[2] == "settled" && f.size() == 6) {
    if (const auto time = Unescaped(f[4])) return Settlement{std::string(f[3]), *time};
  } else if (named && (f[2] == "done" || f[2] == "failed") && f.size() == (f[2] == "done" ? 6u : 9u)) {
    Completion completion;
    if (ReadCompletion(f, f[2] == "done", completion)) return completion;
  }
  return SkippedLine{"it is damaged"};
}

}  // namespace qlr
