#include "src/store/default_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <vector>

#include "src/store/brellox_app.h"
#include "src/store/format.h"
#include "src/store/journal.h"
#include "src/store/temp_dir.h"
#include "tests/testutil/store_fixture.h"

namespace brellox {
namespace test {
namespace {

template <class T>
T At(const std::string& image, std::size_t offset) {
  T value;
  std::memcpy(&value, image.data() + offset, sizeof(value));
  return value;
}

TEST(DefaultImage, HoldsExactlyTheDocumentedBytes) {
  const std::string image = DefaultConfigImage();
  ASSERT_EQ(image.size(), 1701u);
  std::string expected(1701, '\0');
  auto put32 = [&](std::size_t offset, std::int32_t value) {
    std::memcpy(&expected[offset], &value, 4);
  };
  std::memcpy(&expected[0], "KELMIR7XCFGFILE", 16);
  expected[16] = '\x70';
  expected[17] = '\x44';
  put32(20, 1);  // lastConnID
  const std::int32_t sections[][3] = {
      {781, 1, 2}, {1141, 0, 2}, {1477, 0, 2}, {1677, 0, 2}};
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 3; ++j) put32(32 + 12 * i + 4 * j, sections[i][j]);
  }
  put32(80, 1701);
  const char name[] =
      "\xb5\xd8\xc0\xed\xca\xfd\xbe\xdd\xbf\xe2\xbf\xc9\xd3\xc3\xc4\xda\xb4"
      "\xe6\xd2\xb3\xca\xfd";
  const char description[] =
      "\xc5\xe4\xd6\xc3\xb5\xd8\xc0\xed\xca\xfd\xbe\xdd\xbf\xe2\xbf\xc9\xd3"
      "\xc3\xc4\xda\xb4\xe6\xd2\xb3\xca\xfd";
  std::memcpy(&expected[428], name, 22);
  put32(428 + 32, 4096);
  expected[428 + 160] = 4;
  std::memcpy(&expected[428 + 161], description, 26);
  put32(781, 1);
  std::memcpy(&expected[785], "KelmirLocal", 11);
  EXPECT_EQ(image, expected);
}

class DefaultFileTest : public StoreFixture {};

// The only entries of the fixture's directory.
std::vector<std::string> Entries(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(DefaultFileTest, CreatePublishesTheImageOnlyUnderAFreeName) {
  RemoveFile();
  ASSERT_TRUE(CreateDefaultConfigFile(&env_, path().string()).ok());
  EXPECT_EQ(FileBytes(), DefaultConfigImage());
  // Its idle journal comes with it, so that whoever may write the file
  // need not be able to write the folder.
  const std::string journal = JournalPathFor(path().string());
  EXPECT_EQ(
      Entries(dir_.path()),
      (std::vector<std::string>{path().filename().string(),
                                path().filename().string() + "-journal"}));
  EXPECT_EQ(ReadBytes(journal), "");
#ifndef _WIN32
  for (const std::string& file : {path().string(), journal}) {
    EXPECT_EQ(std::filesystem::status(file).permissions() &
                  std::filesystem::perms::all,
              std::filesystem::perms::owner_read |
                  std::filesystem::perms::owner_write);
  }
#endif
  // A file that another process published first, changed or not, stays.
  SetFileBytes("someone else's file");
  EXPECT_TRUE(
      CreateDefaultConfigFile(&env_, path().string()).IsAlreadyExists());
  EXPECT_EQ(FileBytes(), "someone else's file");
  EXPECT_EQ(Entries(dir_.path()).size(), 2u);
}

TEST_F(DefaultFileTest, TemporaryNamesNeverReplaceOtherFiles) {
  // Files of every name a fixed temporary scheme might pick stay as they
  // were.
  const std::string base = path().string();
  for (const std::string& name : {base + "~", base + "#", base + ".tmp"}) {
    WriteBytes(name, "keep");
  }
  ASSERT_TRUE(WriteFileAtomically(&env_, base, "new").ok());
  for (const std::string& name : {base + "~", base + "#", base + ".tmp"}) {
    EXPECT_EQ(ReadBytes(name), "keep");
  }
  EXPECT_EQ(Entries(dir_.path()).size(), 4u);
}

TEST_F(DefaultFileTest, FailedWriteOrSyncLeavesNoFileBehind) {
  for (FaultEnv::Op op : {FaultEnv::Op::kWrite, FaultEnv::Op::kSync}) {
    for (FaultEnv::Fault fault :
         {FaultEnv::Fault::kFail, FaultEnv::Fault::kCut}) {
      RemoveFile();
      env_.Arm(op, 1, fault);
      EXPECT_FALSE(CreateDefaultConfigFile(&env_, path().string()).ok());
      EXPECT_TRUE(env_.fired());
      EXPECT_TRUE(Entries(dir_.path()).empty());
    }
  }
}

TEST_F(DefaultFileTest, LocateWritesTheDefaultFileOnlyWhenNothingIsThere) {
  char cfg[kMaxPath];
  const std::string directory = dir_.path().string() + "/";
  RemoveFile();
  LocateConfigFile(&env_, directory, cfg);
  EXPECT_EQ(std::filesystem::path(cfg), path());  // separators may differ
  EXPECT_EQ(FileBytes(), DefaultConfigImage());

  SetFileBytes("an existing file is never read or rewritten");
  LocateConfigFile(&env_, directory, cfg);
  EXPECT_EQ(FileBytes(), "an existing file is never read or rewritten");
}

TEST_F(DefaultFileTest, DirectoryOfTheFilesNameCountsAsFoundAndCallsFail) {
  RemoveFile();
  std::filesystem::create_directory(path());
  char cfg[kMaxPath];
  LocateConfigFile(&env_, dir_.path().string() + "/", cfg);
  EXPECT_TRUE(std::filesystem::is_directory(path()));
  char buffer[16];
  EXPECT_EQ(GetTempDir(Store{&env_, cfg}, buffer, sizeof(buffer)), 0);
}

TEST_F(DefaultFileTest, PathThatDoesNotFitIsNeverCutToAnotherPath) {
  char cfg[kMaxPath];
  // 244 + "/" + 14 = 259 characters fit with the NUL; one more does not.
  std::string fits = dir_.path().string() + "/";
  fits += std::string(244 - fits.size(), 'd');
  std::filesystem::create_directory(fits);
  LocateConfigFile(&env_, fits + "/", cfg);
  EXPECT_EQ(std::string(cfg), fits + "/" + kConfigFileName);
  EXPECT_TRUE(std::filesystem::exists(cfg));

  std::string too_long = fits + "e";
  std::filesystem::create_directory(too_long);
  LocateConfigFile(&env_, too_long + "/", cfg);
  EXPECT_EQ(cfg[0], '\0');
  EXPECT_FALSE(std::filesystem::exists(too_long + "/" + kConfigFileName));
}

}  // namespace
}  // namespace test
}  // namespace brellox
