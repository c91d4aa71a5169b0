// The global option: the record at offset 428, selected by a null name, read
// and set through every function form, by its stored type only.
#include <gtest/gtest.h>

#include <cstring>

#include "src/store/default_file.h"
#include "tests/options/options_fixture.h"

namespace brellox {
namespace test {
namespace {

class GlobalOptionTest : public OptionsFixture {
 protected:
  const std::string default_global_ =
      DefaultConfigImage().substr(kGlobalOptionOffset, sizeof(CONFIG_OPTION));

  static SVR_LONG IntValue(const CONFIG_OPTION& option) {
    SVR_LONG value;
    std::memcpy(&value, option.value, sizeof(value));
    return value;
  }

  // An option whose value says `value` as an integer and whose type claims
  // to be a block, which the stored type must overrule.
  static CONFIG_OPTION IntOption(SVR_LONG value) {
    CONFIG_OPTION option = MakeOption(13, 'q');
    std::memcpy(option.value, &value, sizeof(value));
    return option;
  }

  // The file differs from `before` only in the global option's value bytes
  // 0 to 3.
  void ExpectOnlyGlobalIntChanged(const std::string& before) {
    std::string expected = before;
    std::memcpy(&expected[kGlobalOptionOffset + 32],
                FileBytes().data() + kGlobalOptionOffset + 32, 4);
    EXPECT_EQ(FileBytes(), expected);
  }
};

TEST_F(GlobalOptionTest, EveryReadReturnsTheDefaultRecord) {
  CONFIG_OPTION options[3];
  std::memset(options, 'x', sizeof(options));
  EXPECT_EQ(GetOptionInfo(store(), nullptr, 0, options, 3), 1);
  EXPECT_EQ(Image(options[0]), default_global_);
  EXPECT_EQ(IntValue(options[0]), 4096);
  EXPECT_EQ(options[0].type, 4);
  EXPECT_EQ(Image(options[1]), Image(ZeroOption()));
  EXPECT_EQ(Image(options[2]), Image(ZeroOption()));

  CONFIG_OPTION single = MakeOption(9, 'x');
  EXPECT_EQ(GetOptionInfo(store(), nullptr, -7, 0, single), 1);
  EXPECT_EQ(Image(single), default_global_);
  EXPECT_EQ(GetOptionCount(store(), nullptr, -7), 1);
}

TEST_F(GlobalOptionTest, ArraySetUsesOnlyTheFirstRecordAndTheStoredType) {
  const std::string before = FileBytes();
  CONFIG_OPTION options[5] = {IntOption(8192), IntOption(1), IntOption(2),
                              IntOption(3), IntOption(4)};
  EXPECT_EQ(SetOptionInfo(store(), nullptr, 0, options, 5), 1);
  EXPECT_EQ(IntValue(GlobalRecord()), 8192);
  EXPECT_EQ(GlobalRecord().type, 4);
  ExpectOnlyGlobalIntChanged(before);
}

TEST_F(GlobalOptionTest, TextOfFourDigitsBecomesTheIntegersBytes) {
  CONFIG_OPTION text = MakeOption(0, 'q');
  std::strcpy(reinterpret_cast<char*>(text.value), "1234");
  EXPECT_EQ(SetOptionInfo(store(), nullptr, 1, 0, text), 1);
  EXPECT_EQ(Bytes(GlobalRecord().value, 4), "1234");
  EXPECT_EQ(GlobalRecord().type, 4);
}

TEST_F(GlobalOptionTest, SingleSetWritesTheSameBytesAsTheArraySet) {
  CONFIG_OPTION option = IntOption(77);
  EXPECT_EQ(SetOptionInfo(store(), nullptr, 0, 0, option), 1);
  const std::string single = FileBytes();
  ResetFile();
  EXPECT_EQ(SetOptionInfo(store(), nullptr, 0, &option, 1), 1);
  EXPECT_EQ(FileBytes(), single);
  EXPECT_EQ(IntValue(GlobalRecord()), 77);
}

TEST_F(GlobalOptionTest, IndexOtherThanZeroIsRefused) {
  const std::string before = FileBytes();
  CONFIG_OPTION option = IntOption(5);
  for (SVR_LONG index : {1, -1, 5}) {
    EXPECT_EQ(SetOptionInfo(store(), nullptr, 0, index, option), 0);
    CONFIG_OPTION read = MakeOption(9, 'x');
    EXPECT_EQ(GetOptionInfo(store(), nullptr, 0, index, read), 0);
    EXPECT_EQ(Image(read), Image(ZeroOption()));
  }
  EXPECT_EQ(FileBytes(), before);
}

TEST_F(GlobalOptionTest, MissingFileFailsEveryFormButTheCount) {
  RemoveFile();
  CONFIG_OPTION options[2];
  std::memset(options, 'x', sizeof(options));
  EXPECT_EQ(GetOptionInfo(store(), nullptr, 0, options, 2), 0);
  EXPECT_EQ(Bytes(options, sizeof(options)),
            Image(ZeroOption()) + Image(ZeroOption()));
  EXPECT_EQ(SetOptionInfo(store(), nullptr, 0, options, 1), 0);
  EXPECT_EQ(GetOptionInfo(store(), nullptr, 0, 0, options[0]), 0);
  EXPECT_EQ(SetOptionInfo(store(), nullptr, 0, 0, options[0]), 0);
  EXPECT_EQ(GetOptionCount(store(), nullptr, 0), 1);
  EXPECT_FALSE(std::filesystem::exists(path()));
}

TEST_F(GlobalOptionTest, NullOrEmptyArrayIsRefusedBeforeTheNameIsLookedAt) {
  CONFIG_OPTION option = IntOption(5);
  EXPECT_EQ(GetOptionInfo(store(), nullptr, 0, nullptr, 1), 0);
  EXPECT_EQ(SetOptionInfo(store(), nullptr, 0, nullptr, 1), 0);
  EXPECT_EQ(GetOptionInfo(store(), nullptr, 0, &option, 0), 0);
  EXPECT_EQ(SetOptionInfo(store(), nullptr, 0, &option, -1), 0);
  EXPECT_EQ(IntValue(GlobalRecord()), 4096);
}

TEST_F(GlobalOptionTest, FailedReadLeavesTheCallersRecordEmpty) {
  env_.Arm(FaultEnv::Op::kRead, 2);  // the header is read first
  CONFIG_OPTION option = MakeOption(9, 'x');
  EXPECT_EQ(GetOptionInfo(store(), nullptr, 0, 0, option), 0);
  EXPECT_EQ(Image(option), Image(ZeroOption()));
}

TEST_F(GlobalOptionTest, FailedWriteIsReportedAsFailure) {
  env_.Arm(FaultEnv::Op::kWrite, 1);
  CONFIG_OPTION option = IntOption(5);
  EXPECT_EQ(SetOptionInfo(store(), nullptr, 0, 0, option), 0);
  EXPECT_TRUE(env_.fired());
}

}  // namespace
}  // namespace test
}  // namespace brellox
