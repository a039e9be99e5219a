#include "backup/history_log.h"

#include <fstream>
#include <iterator>

namespace qlr {

std::filesystem::path HistoryLogPath(const std::filesystem::path& folder) { return folder / "history.log"; }

std::string ReadLogText(const std::filesystem::path& log) {
  std::ifstream file(log, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

}  // namespace qlr
