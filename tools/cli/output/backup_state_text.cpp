#include "cli/output/backup_state_text.h"

#include "cli/output/shell_words.h"
#include "os/utf8_path.h"

namespace qlr::cli {
namespace {

// What lets undo read `file` again.
std::string ReadPermission(const std::filesystem::path& file) {
  return "'chmod u+r " + Printable(ShellQuoted(Utf8OfPath(file))) + "'";
}

}  // namespace

const char* BackupStateWord(BackupState state) {
  switch (state) {
    case BackupState::Kept: return "kept";
    case BackupState::Deleted: return "deleted";
    case BackupState::Altered: return "altered";
    case BackupState::Unreadable: return "unreadable";
    case BackupState::NotAFile: break;
  }
  return "not-a-file";
}

std::string BackupStateNote(BackupState state, const std::filesystem::path& file) {
  switch (state) {
    case BackupState::Kept: return "";
    case BackupState::Deleted: return " (deleted: undo writes the history's copy)";
    case BackupState::Altered:
      return " (altered since: undo refuses it; put it back as it was, or remove it to undo from the history's copy)";
    case BackupState::Unreadable: return " (cannot be read: undo refuses it until " + ReadPermission(file) + ")";
    case BackupState::NotAFile: break;
  }
  return " (not a regular file: undo refuses it; remove it to undo from the history's copy)";
}

std::string BackupRefusal(BackupState state, const std::filesystem::path& file) {
  const std::string name = Printable(Utf8OfPath(file));
  switch (state) {
    case BackupState::Unreadable:
      return name + " cannot be read, so it cannot be checked against the history's copy: nothing written (run " +
             ReadPermission(file) + ", then undo again)";
    case BackupState::NotAFile:
      return name + " is not a regular file: nothing written (remove it, and undo writes the history's copy)";
    case BackupState::Kept:
    case BackupState::Deleted:
    case BackupState::Altered: break;
  }
  // Two copies that disagree: neither is trusted over the other.
  return name +
         " no longer holds what the history kept of it: not writing either copy (put it back as it was, or remove it, "
         "and undo writes the history's copy)";
}

}  // namespace qlr::cli
