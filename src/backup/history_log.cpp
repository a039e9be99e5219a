#include "backup/history_log.h"

namespace qlr {

std::filesystem::path HistoryLogPath(const std::filesystem::path& folder) { return folder / "history.log"; }

}  // namespace qlr
