// Image files: exact size on disk, short and long files, and saves that
// never destroy what was there.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include "image/eeprom_image.h"
#include "image/image_file.h"
#include "support/test_support.h"

namespace qlr {
namespace {

namespace fs = std::filesystem;
using qlr::testing::ReadBytes;
using qlr::testing::TempDirectory;
using qlr::testing::WriteBytes;

EepromImage Pattern(std::uint8_t seed) {
  EepromImage image{};
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7 + seed);
  return image;
}

std::vector<unsigned char> Bytes(const EepromImage& image) { return {image.begin(), image.end()}; }

TEST(ImageComparison, CountsDifferingAddresses) {
  EXPECT_EQ(CountDifferences(MediumValues, MediumValues), 0);
  EXPECT_EQ(CountDifferences(MediumValues, EepromImage{}), 118);
  EepromImage changed = MediumValues;
  changed[127] ^= 0x01;
  EXPECT_EQ(CountDifferences(MediumValues, changed), 1);
  EXPECT_EQ(MediumValues[0x7F], 0x05);
  EXPECT_EQ(MediumValues[0x2B], 0xA0);
}

TEST(ImageFile, SavedImageIsExactly128RawBytesAndLoadsBack) {
  TempDirectory directory;
  const auto file = directory / "QLR5500.BIN";
  ASSERT_TRUE(SaveImageFile(file, MediumValues));
  EXPECT_EQ(ReadBytes(file), Bytes(MediumValues));
  EepromImage loaded{};
  ASSERT_TRUE(LoadImageFile(file, loaded));
  EXPECT_EQ(loaded, MediumValues);

  // Saving again replaces the contents and keeps the file's permissions.
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
  ASSERT_TRUE(SaveImageFile(file, Pattern(3)));
  EXPECT_EQ(ReadBytes(file), Bytes(Pattern(3)));
  EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(std::distance(fs::directory_iterator(directory.Path()), fs::directory_iterator()), 1);
}

TEST(ImageFile, ShortFilesFailAndLongFilesGiveTheirFirst128Bytes) {
  TempDirectory directory;
  std::vector<unsigned char> bytes(200);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(255 - i);
  WriteBytes(directory / "long.bin", bytes);
  EepromImage loaded{};
  ASSERT_TRUE(LoadImageFile(directory / "long.bin", loaded));
  EXPECT_TRUE(std::equal(loaded.begin(), loaded.end(), bytes.begin()));

  const EepromImage before = loaded;
  bytes.resize(127);
  WriteBytes(directory / "short.bin", bytes);
  EXPECT_EQ(LoadImageFile(directory / "short.bin", loaded).status, ImageFileStatus::TooShort);
  EXPECT_EQ(loaded, before);  // a failed load leaves the image as it was
  EXPECT_EQ(LoadImageFile(directory / "missing.bin", loaded).status, ImageFileStatus::CannotOpen);
  EXPECT_EQ(LoadImageFile(directory.Path(), loaded).status, ImageFileStatus::CannotOpen);
}

TEST(ImageFile, ReadOnlyTargetIsRefusedByItsModeBits) {
  TempDirectory directory;
  const auto file = directory / "EEPROM$$.QLR";
  WriteBytes(file, Bytes(Pattern(1)));
  fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const ImageFileResult result = SaveImageFile(file, MediumValues);
  EXPECT_EQ(result.status, ImageFileStatus::ReadOnlyTarget);
  EXPECT_EQ(result.Describe(file), file.string() + " is read-only");
  EXPECT_EQ(ReadBytes(file), Bytes(Pattern(1)));
}

TEST(ImageFile, NoReplaceKeepsAnExistingFileAndSetsTheNewFilesMode) {
  TempDirectory directory;
  const auto file = directory / "snapshot";
  ASSERT_TRUE(SaveImageFile(file, Pattern(5), {.replaceExisting = false, .mode = 0444}));
  EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_EQ(SaveImageFile(file, Pattern(6), {.replaceExisting = false}).status, ImageFileStatus::AlreadyExists);
  EXPECT_EQ(ReadBytes(file), Bytes(Pattern(5)));
}

// A write that fails half way (here: a file-size limit of 64 bytes, as a
// full disk would) leaves the old file whole and no temporary file behind.
TEST(ImageFile, FailedSaveKeepsTheOldFile) {
  TempDirectory directory;
  const auto file = directory / "QLR5500.BIN";
  WriteBytes(file, Bytes(Pattern(9)));

  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit previous{};
  ::getrlimit(RLIMIT_FSIZE, &previous);
  rlimit small = previous;
  small.rlim_cur = 64;
  ::setrlimit(RLIMIT_FSIZE, &small);
  const ImageFileResult result = SaveImageFile(file, MediumValues);
  ::setrlimit(RLIMIT_FSIZE, &previous);
  std::signal(SIGXFSZ, previousHandler);

  EXPECT_EQ(result.status, ImageFileStatus::WriteFailed);
  EXPECT_EQ(ReadBytes(file), Bytes(Pattern(9)));
  EXPECT_EQ(std::distance(fs::directory_iterator(directory.Path()), fs::directory_iterator()), 1);

  // A directory that does not exist fails without creating anything.
  EXPECT_EQ(SaveImageFile(directory / "no/such/dir/x.bin", MediumValues).status, ImageFileStatus::WriteFailed);
}

}  // namespace
}  // namespace qlr
