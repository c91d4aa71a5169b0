// One conformance suite for every Env the store can run on: the system's own
// and the fault-injecting wrapper with no fault armed.
#include "platform/env.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/testutil/fault_env.h"
#include "tests/testutil/store_fixture.h"

namespace brellox {
namespace test {
namespace {

struct SystemEnv {
  Env* get() { return Env::Default(); }
};

struct PassThroughFaultEnv {
  FaultEnv env{Env::Default()};
  Env* get() { return &env; }
};

template <class Backend>
class EnvTest : public ::testing::Test {
 protected:
  std::string PathOf(const char* name) const {
    return (dir_.path() / name).string();
  }
  std::unique_ptr<RandomRWFile> Create(const char* name) {
    std::unique_ptr<RandomRWFile> file;
    EXPECT_TRUE(env()->CreateReplacing(PathOf(name), &file).ok());
    return file;
  }
  Env* env() { return backend_.get(); }

  ScopedTempDir dir_;
  Backend backend_;
};

using Backends = ::testing::Types<SystemEnv, PassThroughFaultEnv>;
TYPED_TEST_SUITE(EnvTest, Backends);

TYPED_TEST(EnvTest, MissingFileIsNotFoundAndDirectoriesAreNotOpened) {
  std::unique_ptr<RandomRWFile> file;
  Status s = this->env()->OpenExisting(this->PathOf("missing"), &file);
  EXPECT_TRUE(s.IsNotFound()) << s.ToString();
  EXPECT_EQ(file, nullptr);
  EXPECT_FALSE(this->env()->EntryExists(this->PathOf("missing")));

  std::filesystem::create_directory(this->PathOf("folder"));
  EXPECT_TRUE(this->env()->EntryExists(this->PathOf("folder")));
  EXPECT_FALSE(this->env()->OpenExisting(this->PathOf("folder"), &file).ok());
}

TYPED_TEST(EnvTest, WritesPastTheEndExtendAndReadsAreExact) {
  auto file = this->Create("f");
  ASSERT_TRUE(file->Write(10, "abc", 3).ok());
  std::uint64_t size = 0;
  ASSERT_TRUE(file->Size(&size).ok());
  EXPECT_EQ(size, 13u);
  char bytes[13];
  ASSERT_TRUE(file->Read(0, sizeof(bytes), bytes).ok());
  EXPECT_EQ(std::string(bytes, 13), std::string(10, '\0') + "abc");
  // Reading past the end is an error, never a silent short read.
  EXPECT_TRUE(file->Read(11, 3, bytes).IsIOError());
  EXPECT_TRUE(file->Sync().ok());
}

TYPED_TEST(EnvTest, LargeTransfersRoundTrip) {
  auto file = this->Create("large");
  std::string data(8 << 20, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 131);
  ASSERT_TRUE(file->Write(1, data.data(), data.size()).ok());
  std::string back(data.size(), '\0');
  ASSERT_TRUE(file->Read(1, back.size(), &back[0]).ok());
  EXPECT_EQ(back, data);
}

TYPED_TEST(EnvTest, TwoOpenersShareEachOthersWrites) {
  this->Create("shared")->Write(0, "0000", 4);
  std::unique_ptr<RandomRWFile> a, b;
  ASSERT_TRUE(this->env()->OpenExisting(this->PathOf("shared"), &a).ok());
  ASSERT_TRUE(this->env()->OpenExisting(this->PathOf("shared"), &b).ok());
  ASSERT_TRUE(a->Write(1, "x", 1).ok());
  char bytes[4];
  ASSERT_TRUE(b->Read(0, 4, bytes).ok());
  EXPECT_EQ(std::string(bytes, 4), "0x00");
}

TYPED_TEST(EnvTest, CreateTruncatesAndRenameReplaces) {
  this->Create("old")->Write(0, "old contents", 12);
  this->Create("new")->Write(0, "new", 3);
  auto truncated = this->Create("old");
  std::uint64_t size = 1;
  ASSERT_TRUE(truncated->Size(&size).ok());
  EXPECT_EQ(size, 0u);
  truncated.reset();

  ASSERT_TRUE(this->env()->RenameReplacing(this->PathOf("new"),
                                           this->PathOf("old")).ok());
  EXPECT_FALSE(this->env()->EntryExists(this->PathOf("new")));
  EXPECT_EQ(ReadBytes(this->PathOf("old")), "new");
  ASSERT_TRUE(this->env()->RemoveFile(this->PathOf("old")).ok());
  EXPECT_FALSE(this->env()->EntryExists(this->PathOf("old")));
  EXPECT_FALSE(this->env()->RemoveFile(this->PathOf("old")).ok());
}

}  // namespace
}  // namespace test
}  // namespace brellox
