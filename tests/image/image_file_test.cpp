// Image files: exact size on disk, short and long files, and saves that
// never destroy what was there.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <tuple>

#include "image/eeprom_image.h"
#include "image/image_file.h"
#include "support/test_support.h"
#include "support/unprivileged.h"

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
  EXPECT_EQ(LoadImageFile(directory / "short.bin", loaded).Failure().status, ImageFileStatus::TooShort);
  EXPECT_EQ(loaded, before);  // a failed load leaves the image as it was
  EXPECT_EQ(LoadImageFile(directory / "missing.bin", loaded).Failure().status, ImageFileStatus::CannotOpen);
  EXPECT_EQ(LoadImageFile(directory.Path(), loaded).Failure().status, ImageFileStatus::CannotOpen);
}

TEST(ImageFile, ReadOnlyTargetIsRefusedByItsModeBits) {
  TempDirectory directory;
  const auto file = directory / "EEPROM$$.QLR";
  WriteBytes(file, Bytes(Pattern(1)));
  fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const ImageFileResult result = SaveImageFile(file, MediumValues);
  EXPECT_EQ(result.Failure().status, ImageFileStatus::ReadOnlyTarget);
  EXPECT_EQ(result.Failure().Describe(file), file.string() + " is read-only");
  EXPECT_EQ(ReadBytes(file), Bytes(Pattern(1)));
}

// Each case as the user it names, in a directory anyone may write: a
// refused file keeps bytes, owner and mode; a replaced one keeps owner and
// mode; a link stays a link; no temporary file is left.
TEST(ImageFile, ReplacesOnlyWhatTheUserMayWriteAndKeepsItsOwner) {
  if (const std::string why = testing::WhyNotUnprivileged(); !why.empty()) GTEST_SKIP() << why;
  enum Kind { File, Link, Fifo };
  struct Case {
    const char* name;
    Kind kind;
    uid_t owner;
    gid_t group;
    mode_t mode;
    bool asRoot;
    ImageFileStatus expected;
  };
  constexpr uid_t nobody = testing::UnprivilegedId;
  const Case cases[] = {
      {"root's 0644", File, 0, 0, 0644, false, ImageFileStatus::NotPermitted},
      {"root's 0664", File, 0, 0, 0664, false, ImageFileStatus::NotPermitted},
      {"root's 0600", File, 0, 0, 0600, false, ImageFileStatus::NotPermitted},
      {"root's 0644 through a link", Link, 0, 0, 0644, false, ImageFileStatus::NotPermitted},
      {"the user's own through a link", Link, nobody, nobody, 0640, false, ImageFileStatus::Ok},
      {"the user's backup (group dialout) saved by root", File, nobody, 20, 0664, true, ImageFileStatus::Ok},
      {"a FIFO saved by root", Fifo, 0, 0, 0666, true, ImageFileStatus::NotRegularFile},
  };
  for (const Case& c : cases) {
    TempDirectory directory;
    fs::permissions(directory.Path(), fs::perms::all);
    const fs::path file = directory / "backup.bin", path = c.kind == Link ? directory / "link.bin" : file;
    if (c.kind == Fifo) ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    else WriteBytes(file, Bytes(Pattern(1)));
    if (c.kind == Link) fs::create_symlink(file, path);
    ASSERT_EQ(::chown(file.c_str(), c.owner, c.group) | ::chmod(file.c_str(), c.mode), 0);

    const auto save = [&path] { return static_cast<int>(SaveImageFile(path, MediumValues).Failure().status); };
    EXPECT_EQ(c.asRoot ? save() : testing::RunUnprivileged(save), static_cast<int>(c.expected)) << c.name;
    struct stat after {};
    ASSERT_EQ(::lstat(file.c_str(), &after), 0) << c.name;
    EXPECT_EQ(std::tuple(after.st_uid, after.st_gid, after.st_mode & 07777), std::tuple(c.owner, c.group, c.mode))
        << c.name;
    if (c.kind != Fifo) {
      EXPECT_EQ(ReadBytes(file), Bytes(c.expected == ImageFileStatus::Ok ? MediumValues : Pattern(1))) << c.name;
    }
    EXPECT_EQ(fs::is_symlink(fs::symlink_status(path)), c.kind == Link) << c.name;
    EXPECT_EQ(std::distance(fs::directory_iterator(directory.Path()), {}), c.kind == Link ? 2 : 1) << c.name;
  }
}

TEST(ImageFile, NoReplaceKeepsAnExistingFileAndSetsTheNewFilesMode) {
  TempDirectory directory;
  const auto file = directory / "snapshot";
  ASSERT_TRUE(SaveImageFile(file, Pattern(5), {.replaceExisting = false, .mode = 0444}));
  EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_EQ(SaveImageFile(file, Pattern(6), {.replaceExisting = false}).Failure().status,
            ImageFileStatus::AlreadyExists);
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

  EXPECT_EQ(result.Failure().status, ImageFileStatus::WriteFailed);
  EXPECT_EQ(ReadBytes(file), Bytes(Pattern(9)));
  EXPECT_EQ(std::distance(fs::directory_iterator(directory.Path()), fs::directory_iterator()), 1);

  // A directory that does not exist fails without creating anything.
  EXPECT_EQ(SaveImageFile(directory / "no/such/dir/x.bin", MediumValues).Failure().status,
            ImageFileStatus::WriteFailed);
}

}  // namespace
}  // namespace qlr
