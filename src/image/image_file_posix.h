// What the POSIX image files (image_file_posix.cpp) leave to each POSIX
// system: one file per system defines it (image_file_linux.cpp), and a new
// system adds its own.
#pragma once

#include <filesystem>

namespace qlr {

// Renames `from` to `to`, both relative to the folder open as `folder`
// (AT_FDCWD for the current one), in one step, unless something is named
// `to`. False
// with errno set on failure: EEXIST when `to` exists, ENOTSUP when the
// system or the file system cannot refuse an existing name (the caller then
// makes a hard link instead, which refuses one too).
bool RenameNoReplace(int folder, const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace qlr
