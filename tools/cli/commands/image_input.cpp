#include "cli/commands/image_input.h"

#include <filesystem>

#include "cli/output/messages.h"
#include "image/image_file.h"
#include "os/utf8_path.h"

namespace qlr::cli {

bool LoadImageForCommand(const std::string& name, EepromImage& image, const CliEnvironment& env) {
  const std::filesystem::path path = PathFromUtf8(name);
  const ImageFileResult result = LoadImageFile(path, image);
  if (!result) {
    Tell(env) << result.Failure().Describe(path) << "\n";
    return false;
  }
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (!error && size > image.size()) {
    Tell(env) << "note: " << name << " holds " << size << " bytes; only its first " << image.size() << " are used\n";
  }
  return true;
}

}  // namespace qlr::cli
