// Any file content as an image file: LoadImageFile accepts exactly the files
// of 128 bytes or more and takes their first 128; a failed load leaves the
// caller's image alone. Whatever loads is saved and loaded again unchanged,
// and a save leaves exactly the one 128-byte file behind.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "image/image_file.h"

namespace fs = std::filesystem;

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// One directory per process, on tmpfs where there is one: a save syncs to disk.
const fs::path& WorkDirectory() {
  static const fs::path directory = [] {
    const fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    std::string pattern = (base / "qlr-fuzz-image-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    std::atexit([] { fs::remove_all(WorkDirectory()); });
    return fs::path(pattern);
  }();
  return directory;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fs::path input = WorkDirectory() / "input.bin";
  {
    std::ofstream out(input, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    Check(out.good());
  }

  qlr::EepromImage image;
  image.fill(0xA5);
  const qlr::EepromImage untouched = image;
  const qlr::ImageFileResult loaded = qlr::LoadImageFile(input, image);
  if (size < qlr::EepromSize) {
    Check(!loaded && loaded.Failure().status == qlr::ImageFileStatus::TooShort);
    Check(image == untouched);
    return 0;
  }
  Check(static_cast<bool>(loaded));
  Check(std::memcmp(image.data(), data, qlr::EepromSize) == 0);

  const fs::path saved = WorkDirectory() / "saved.bin";
  Check(static_cast<bool>(qlr::SaveImageFile(saved, image)));
  Check(fs::file_size(saved) == qlr::EepromSize);
  qlr::EepromImage reloaded{};
  Check(static_cast<bool>(qlr::LoadImageFile(saved, reloaded)));
  Check(reloaded == image);
  // input.bin and saved.bin, no temporary file left over.
  Check(std::distance(fs::directory_iterator(WorkDirectory()), fs::directory_iterator()) == 2);
  return 0;
}
