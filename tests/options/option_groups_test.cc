// Option groups: appended at the end of the file, found by (type, name)
// exactly, six slots whatever they were added with, values changed only by
// the stored types, and never disturbed when earlier tables grow.
#include <gtest/gtest.h>

#include <cstring>

#include "src/store/config_file.h"
#include "src/store/table.h"
#include "tests/options/options_fixture.h"

namespace brellox {
namespace test {
namespace {

constexpr int kGroupSize = sizeof(SVR_OPTION_GROUP);

class OptionGroupsTest : public OptionsFixture {
 protected:
  // The six slots `AddGroup(..., n)` stores: the first min(n, 6) options,
  // then zero slots.
  static std::string ExpectedSlots(int n) {
    std::string slots;
    for (const CONFIG_OPTION& option : MakeOptions(n < 6 ? n : 6)) {
      slots += Image(option);
    }
    while (slots.size() < 6 * sizeof(CONFIG_OPTION))
      slots += Image(ZeroOption());
    return slots;
  }

  std::string GroupImage(int i) const {
    const SVR_OPTION_GROUP group = GroupRecord(i);
    return Bytes(&group, sizeof(group));
  }

  // Appends one record to an earlier table through the store's own path, so
  // that a full table grows and moves the option groups.
  void AppendTo(const TableSpec& spec) {
    ConfigSession session;
    ASSERT_TRUE(session.Open(store(), Access::kWrite).ok());
    TableImage image;
    ASSERT_TRUE(TableImage::Load(session, spec, &image).ok());
    const std::string record(spec.record_size(), 'r');
    ASSERT_TRUE(
        AppendRecord(session, spec, image, record.data(), nullptr).ok());
    ASSERT_TRUE(session.Commit().ok());
  }
};

TEST_F(OptionGroupsTest, FirstGroupIsAppendedAtTheEndOfTheFile) {
  const std::string before = FileBytes();
  ASSERT_EQ(AddGroup("layers", 3, 2), 1);
  const std::string after = FileBytes();
  ASSERT_EQ(after.size(), 1701u + kGroupSize);
  EXPECT_EQ(Header().optionGroupsCount, 1);
  EXPECT_EQ(Header().optionGroupsOffset, 1701);
  EXPECT_EQ(after.substr(kHeaderSize, 1701 - kHeaderSize),
            before.substr(kHeaderSize));
  SVR_OPTION_GROUP expected;
  std::memset(&expected, 0, sizeof(expected));
  expected.groupType = 3;
  std::strcpy(expected.groupName, "layers");
  std::memcpy(expected.options, ExpectedSlots(2).data(),
              sizeof(expected.options));
  EXPECT_EQ(after.substr(1701), Bytes(&expected, sizeof(expected)));
}

TEST_F(OptionGroupsTest, GroupsAlwaysHaveSixSlots) {
  const int added[] = {1, 2, 6, 8};
  for (int n : added) {
    ASSERT_EQ(AddGroup(("g" + std::to_string(n)).c_str(), 1, n), 1);
  }
  for (int n : added) {
    const std::string name = "g" + std::to_string(n);
    EXPECT_EQ(GetOptionCount(store(), name.c_str(), 1), 6);
    SVR_LONG result;
    std::vector<CONFIG_OPTION> one = ReadGroup(name.c_str(), 1, 1, &result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(Image(one[0]), ExpectedSlots(n).substr(0, sizeof(CONFIG_OPTION)));
    std::vector<CONFIG_OPTION> six = ReadGroup(name.c_str(), 1, 6, &result);
    EXPECT_EQ(Bytes(six.data(), 6 * sizeof(CONFIG_OPTION)), ExpectedSlots(n));
    std::vector<CONFIG_OPTION> eight = ReadGroup(name.c_str(), 1, 8, &result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(Bytes(eight.data(), 8 * sizeof(CONFIG_OPTION)),
              ExpectedSlots(n) + Image(ZeroOption()) + Image(ZeroOption()));
    for (int i = 0; i < 6; ++i) {
      CONFIG_OPTION single;
      EXPECT_EQ(GetOptionInfo(store(), name.c_str(), 1, i, single), 1);
      EXPECT_EQ(Image(single), Image(six[i]));
    }
  }
}

TEST_F(OptionGroupsTest, PairOfTypeAndNameIsStoredOnce) {
  ASSERT_EQ(AddGroup("shared", 1, 2), 1);
  const std::string before = FileBytes();
  EXPECT_EQ(AddGroup("shared", 1, 3), 0);
  EXPECT_EQ(FileBytes(), before);
  ASSERT_EQ(AddGroup("shared", 2, 3), 1);
  // Each type reaches its own record.
  CONFIG_OPTION text = MakeOption(0, 'k');
  ASSERT_EQ(SetOptionInfo(store(), "shared", 2, 0, text), 1);
  EXPECT_EQ(Bytes(GroupRecord(0).options, sizeof(CONFIG_OPTION)),
            Image(MakeOptions(1)[0]));
  EXPECT_EQ(Bytes(GroupRecord(1).options[0].value, 128),
            Bytes(text.value, 128));
}

TEST_F(OptionGroupsTest, NamesMatchExactly) {
  ASSERT_EQ(AddGroup("Raster", 1, 1), 1);
  CONFIG_OPTION option = MakeOption(0, 'k');
  const std::string before = FileBytes();
  for (const char* other : {"raster", "Raster ", "Raste", "Rasters", ""}) {
    EXPECT_EQ(GetOptionCount(store(), other, 1), -1) << other;
    SVR_LONG result;
    std::vector<CONFIG_OPTION> read = ReadGroup(other, 1, 2, &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Image(read[0]), Image(ZeroOption()));
    EXPECT_EQ(SetOptionInfo(store(), other, 1, &option, 1), 0);
    EXPECT_EQ(SetOptionInfo(store(), other, 1, 0, option), 0);
  }
  EXPECT_EQ(FileBytes(), before);
}

TEST_F(OptionGroupsTest, NonPositiveGroupTypeFailsEveryFunction) {
  ASSERT_EQ(AddGroup("g", 1, 6), 1);
  const std::string before = FileBytes();
  CONFIG_OPTION option = MakeOption(0, 'k');
  for (SVR_LONG type : {0, -1}) {
    EXPECT_EQ(AddGroup("h", type, 1), 0);
    EXPECT_EQ(GetOptionCount(store(), "g", type), -1);
    EXPECT_EQ(GetOptionInfo(store(), "g", type, &option, 1), 0);
    EXPECT_EQ(SetOptionInfo(store(), "g", type, &option, 1), 0);
    EXPECT_EQ(GetOptionInfo(store(), "g", type, 0, option), 0);
    EXPECT_EQ(SetOptionInfo(store(), "g", type, 0, option), 0);
  }
  EXPECT_EQ(FileBytes(), before);
}

TEST_F(OptionGroupsTest, ArraySetChangesOnlyTheFirstCountSlotsByStoredType) {
  ASSERT_EQ(AddGroup("a", 1, 1), 1);
  ASSERT_EQ(AddGroup("b", 1, 6), 1);
  const SVR_OPTION_GROUP before = GroupRecord(1);
  std::vector<CONFIG_OPTION> source = MakeOptions(6);
  for (CONFIG_OPTION& option : source) std::memset(option.value, 'v', 128);
  ASSERT_EQ(SetOptionInfo(store(), "b", 1, source.data(), 2), 1);
  SVR_OPTION_GROUP expected = before;
  CopyOptionValues(expected.options, source.data(), 2);
  EXPECT_EQ(GroupImage(1), Bytes(&expected, kGroupSize));
  EXPECT_EQ(Bytes(expected.options[1].value, 4), "vvvv");  // int slot
  EXPECT_EQ(GroupRecord(0).groupName, std::string("a"));
}

TEST_F(OptionGroupsTest, SingleSetEqualsReadingAllAndSettingAllBack) {
  ASSERT_EQ(AddGroup("x", 4, 3), 1);
  // Slot 2 (a double) and the never-filled slots; one slot left holding an
  // unterminated text, which setting the group back must keep in the field.
  std::vector<CONFIG_OPTION> options = MakeOptions(2);
  std::memset(options[0].value, 'T', 128);
  ASSERT_EQ(AddOptionInfo(store(), "y", 4, options.data(), 2), 1);
  for (const char* name : {"x", "y"}) {
    // Slot 0 last, so that it is still unterminated while the others are set.
    for (SVR_LONG index : {5, 2, 1, 0}) {
      const std::string start = FileBytes();
      CONFIG_OPTION option = MakeOption(0, 'n');
      ASSERT_EQ(SetOptionInfo(store(), name, 4, index, option), 1);
      const std::string single = FileBytes();
      SetFileBytes(start);
      CONFIG_OPTION all[6];
      ASSERT_EQ(GetOptionInfo(store(), name, 4, all, 6), 1);
      CopyOptionValues(&all[index], &option, 1);
      ASSERT_EQ(SetOptionInfo(store(), name, 4, all, 6), 1);
      EXPECT_EQ(FileBytes(), single) << name << " " << index;
    }
  }
}

TEST_F(OptionGroupsTest, SingleSetKeepsTheSlotsNameTypeAndDescription) {
  ASSERT_EQ(AddGroup("g", 1, 2), 1);
  CONFIG_OPTION option = MakeOption(13, 'n');
  ASSERT_EQ(SetOptionInfo(store(), "g", 1, 1, option), 1);  // an int slot
  ASSERT_EQ(SetOptionInfo(store(), "g", 1, 4, option), 1);  // never filled
  const SVR_OPTION_GROUP group = GroupRecord(0);
  CONFIG_OPTION int_slot = MakeOptions(2)[1];
  std::memcpy(int_slot.value, option.value, 4);
  EXPECT_EQ(Image(group.options[1]), Image(int_slot));
  CONFIG_OPTION text_slot = ZeroOption();
  std::strcpy(reinterpret_cast<char*>(text_slot.value),
              reinterpret_cast<const char*>(option.value));
  EXPECT_EQ(Image(group.options[4]), Image(text_slot));
}

TEST_F(OptionGroupsTest, IndexOutsideTheSixSlotsIsRefused) {
  ASSERT_EQ(AddGroup("g", 1, 6), 1);
  const std::string before = FileBytes();
  for (SVR_LONG index : {6, -1, 100}) {
    CONFIG_OPTION option = MakeOption(9, 'x');
    EXPECT_EQ(GetOptionInfo(store(), "g", 1, index, option), 0);
    EXPECT_EQ(Image(option), Image(ZeroOption()));
    EXPECT_EQ(SetOptionInfo(store(), "g", 1, index, option), 0);
  }
  EXPECT_EQ(FileBytes(), before);
}

TEST_F(OptionGroupsTest, GroupsStayIntactWhileEveryEarlierTableGrows) {
  ASSERT_EQ(AddGroup("first", 1, 6), 1);
  ASSERT_EQ(AddGroup("second", 2, 3), 1);
  const std::string first = GroupImage(0);
  const std::string second = GroupImage(1);
  for (const TableSpec* spec :
       {&kConnTable, &kGdbTable, &kUserTable, &kPrivTable}) {
    for (int i = 0; i < 3; ++i) {
      AppendTo(*spec);
      ASSERT_TRUE(ValidateHeader(Header(), FileBytes().size()).ok());
      EXPECT_EQ(GroupImage(0), first);
      EXPECT_EQ(GroupImage(1), second);
      EXPECT_EQ(GetOptionCount(store(), "second", 2), 6);
    }
  }
  EXPECT_GT(Header().optionGroupsOffset, 1701);
  // Groups added and changed after the moves land where the header says.
  ASSERT_EQ(AddGroup("third", 1, 1), 1);
  CONFIG_OPTION option = MakeOption(0, 'n');
  ASSERT_EQ(SetOptionInfo(store(), "first", 1, 0, option), 1);
  EXPECT_EQ(FileBytes().size(), static_cast<std::size_t>(LayoutEnd(Header())));
  EXPECT_EQ(Bytes(GroupRecord(0).options[0].value, 20),
            Bytes(option.value, 20));
  EXPECT_EQ(GroupImage(1), second);
  EXPECT_EQ(std::string(GroupRecord(2).groupName), "third");
}

TEST_F(OptionGroupsTest, GroupNameMustFitWithItsTerminator) {
  const std::string longest(31, 'n');
  const std::string too_long(32, 'n');
  const std::string before = FileBytes();
  EXPECT_EQ(AddGroup(too_long.c_str(), 1, 1), 0);
  EXPECT_EQ(FileBytes(), before);
  ASSERT_EQ(AddGroup(longest.c_str(), 1, 1), 1);
  EXPECT_EQ(GetOptionCount(store(), longest.c_str(), 1), 6);
  EXPECT_EQ(GetOptionCount(store(), too_long.c_str(), 1), -1);
}

TEST_F(OptionGroupsTest, RefusedAdditionsLeaveTheFileAlone) {
  const std::string before = FileBytes();
  std::vector<CONFIG_OPTION> options = MakeOptions(1);
  EXPECT_EQ(AddOptionInfo(store(), nullptr, 1, options.data(), 1), 0);
  EXPECT_EQ(AddOptionInfo(store(), "g", 1, nullptr, 1), 0);
  EXPECT_EQ(AddOptionInfo(store(), "g", 1, options.data(), 0), 0);
  EXPECT_EQ(FileBytes(), before);
  RemoveFile();
  EXPECT_EQ(AddGroup("g", 1, 1), 0);
  EXPECT_EQ(GetOptionCount(store(), "g", 1), -1);
  EXPECT_FALSE(std::filesystem::exists(path()));
}

TEST_F(OptionGroupsTest, FailedRecordWriteLeavesTheCountUnchanged) {
  env_.Arm(FaultEnv::Op::kWrite, 1);
  EXPECT_EQ(AddGroup("g", 1, 1), 0);
  EXPECT_EQ(Header().optionGroupsCount, 0);
  EXPECT_EQ(GetOptionCount(store(), "g", 1), -1);
}

TEST_F(OptionGroupsTest, FailedTableReadFindsNothing) {
  ASSERT_EQ(AddGroup("g", 1, 1), 1);
  env_.Arm(FaultEnv::Op::kRead, 2);  // after the header
  SVR_LONG result;
  std::vector<CONFIG_OPTION> read = ReadGroup("g", 1, 1, &result);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(Image(read[0]), Image(ZeroOption()));
  // An unreadable table must not pass for one without the group.
  const std::string before = FileBytes();
  env_.Arm(FaultEnv::Op::kRead, 2);
  EXPECT_EQ(AddGroup("g", 1, 1), 0);
  EXPECT_EQ(FileBytes(), before);
}

TEST_F(OptionGroupsTest, ExportedOverloadsReachTheirOwnForms) {
  AttachLibraryFile();
  std::vector<CONFIG_OPTION> options = MakeOptions(2);
  char name[] = "exported";
  ASSERT_EQ(Svr_AddOptionInfo(name, 1, options.data(), 2), 1);
  EXPECT_EQ(Svr_GetOptionCount(name, 1), 6);
  EXPECT_EQ(Svr_GetOptionCount(nullptr, 1), 1);
  CONFIG_OPTION all[6];
  ASSERT_EQ(Svr_GetOptionInfo(name, 1, all, 6), 1);
  EXPECT_EQ(Image(all[1]), Image(options[1]));
  CONFIG_OPTION one;
  ASSERT_EQ(Svr_GetOptionInfo(name, 1, 1, one), 1);
  EXPECT_EQ(Image(one), Image(options[1]));
  CONFIG_OPTION value = MakeOption(0, 'n');
  ASSERT_EQ(Svr_SetOptionInfo(name, 1, 1, value), 1);
  EXPECT_EQ(Bytes(GroupRecord(0).options[1].value, 4), Bytes(value.value, 4));
  ASSERT_EQ(Svr_SetOptionInfo(name, 1, &value, 1), 1);
  EXPECT_EQ(Bytes(GroupRecord(0).options[0].value, 21), Bytes(value.value, 21));
  DetachLibraryFile();
  EXPECT_EQ(Svr_GetOptionCount(name, 1), -1);
}

}  // namespace
}  // namespace test
}  // namespace brellox
