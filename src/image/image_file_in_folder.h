// Saving an image into a folder held open, on POSIX systems: for files made
// where someone else may rename or link things meanwhile (the backups that
// root keeps for another user), since every step is taken relative to the
// folder's descriptor and none follows a symbolic link.
#pragma once

#include <string>

#include "image/image_file.h"

namespace qlr {

// SaveImageFile (image_file.h) of the file `name`, a plain name with no '/',
// in the folder open as `folder`. The new name is flushed to disk with the
// folder; a failure to flush it fails the save, though the file is in place.
ImageFileResult SaveImageFileIn(int folder, const std::string& name, const EepromImage& image,
                                const SaveOptions& options);

}  // namespace qlr
