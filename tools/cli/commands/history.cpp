// The history of changes, as 'qlr5500 history' lists it.
#include "cli/command_line/exit_codes.h"
#include "cli/commands/commands.h"
#include "cli/output/history_report.h"
#include "cli/output/messages.h"
#include "os/utf8_path.h"

namespace qlr::cli {

int RunHistory(const CommandContext& context) {
  const CliEnvironment& env = context.env;
  const History& history = context.history;
  const std::filesystem::path& folder = context.backups->path;
  for (const std::string& note : history.notes) Tell(env) << note << "\n";
  if (context.options.porcelain) {
    env.out << FormatHistoryPorcelain(history, folder);
  } else if (history.changes.empty()) {
    env.out << "no changes recorded in " << Utf8OfPath(folder) << "\n";
  } else {
    env.out << FormatHistory(history, folder, context.options.backupDir);
  }
  return ExitSuccess;
}

}  // namespace qlr::cli
