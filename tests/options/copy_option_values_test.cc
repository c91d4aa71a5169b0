// The one rule by which values enter stored options: the stored record's
// type decides how many bytes of the value move, and nothing else changes.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "tests/options/options_fixture.h"

namespace brellox {
namespace test {
namespace {

// Copies `source` into a stored record of `stored_type` made from tag 'a'
// and returns the result.
CONFIG_OPTION CopyInto(unsigned char stored_type, const CONFIG_OPTION& source) {
  CONFIG_OPTION stored = MakeOption(stored_type, 'a');
  EXPECT_EQ(CopyOptionValues(&stored, &source, 1), 1);
  return stored;
}

// Everything but `value` of `after` matches `before`.
void ExpectOnlyValueChanged(const CONFIG_OPTION& before,
                            const CONFIG_OPTION& after) {
  EXPECT_EQ(Bytes(after.name, 32), Bytes(before.name, 32));
  EXPECT_EQ(after.type, before.type);
  EXPECT_EQ(Bytes(after.description, 192), Bytes(before.description, 192));
}

TEST(CopyOptionValuesTest, NonPositiveCountChangesNothing) {
  CONFIG_OPTION stored = MakeOption(13, 'a');
  const CONFIG_OPTION source = MakeOption(13, 'z');
  EXPECT_EQ(CopyOptionValues(&stored, &source, 0), 1);
  EXPECT_EQ(CopyOptionValues(&stored, &source, -3), 1);
  EXPECT_EQ(Image(stored), Image(MakeOption(13, 'a')));
}

TEST(CopyOptionValuesTest, IntSlotTakesFourBytesOfATextRecord) {
  CONFIG_OPTION source = MakeOption(0, 'z');
  std::memcpy(source.value, "ab\0Q", 4);
  const CONFIG_OPTION stored = CopyInto(4, source);
  EXPECT_EQ(Bytes(stored.value, 4), std::string("ab\0Q", 4));
  EXPECT_EQ(Bytes(stored.value + 4, 124),
            Bytes(MakeOption(4, 'a').value + 4, 124));
  ExpectOnlyValueChanged(MakeOption(4, 'a'), stored);
}

TEST(CopyOptionValuesTest, ShorterTextLeavesTheOldTailBehindItsNul) {
  CONFIG_OPTION stored = ZeroOption();
  std::strcpy(reinterpret_cast<char*>(stored.value), "0123456789");
  CONFIG_OPTION source = MakeOption(4, 'z');  // the caller's type is ignored
  std::strcpy(reinterpret_cast<char*>(source.value), "abc");
  CopyOptionValues(&stored, &source, 1);
  EXPECT_EQ(Bytes(stored.value, 12), std::string("abc\0"
                                                 "456789\0\0",
                                                 12));
  EXPECT_STREQ(reinterpret_cast<char*>(stored.value), "abc");
  EXPECT_EQ(stored.type, 0);
}

TEST(CopyOptionValuesTest, AllZeroSlotTakesTextUpToTheCallersFirstNul) {
  CONFIG_OPTION stored = ZeroOption();
  const CONFIG_OPTION source = MakeOption(13, 'z');  // 20 bytes of text
  CopyOptionValues(&stored, &source, 1);
  EXPECT_EQ(Bytes(stored.value, 128), Bytes(source.value, 128));
  ExpectOnlyValueChanged(ZeroOption(), stored);
}

TEST(CopyOptionValuesTest, DoubleSlotTakesExactlyEightBytes) {
  CONFIG_OPTION source = MakeOption(0, 'z');
  const double pi = 3.25;
  std::memcpy(source.value, &pi, sizeof(pi));
  const CONFIG_OPTION stored = CopyInto(7, source);
  double read;
  std::memcpy(&read, stored.value, sizeof(read));
  EXPECT_EQ(read, pi);
  EXPECT_EQ(Bytes(stored.value + 8, 120),
            Bytes(MakeOption(7, 'a').value + 8, 120));
}

TEST(CopyOptionValuesTest, BlockSlotTakesAll128BytesNulsIncluded) {
  CONFIG_OPTION source = MakeOption(0, 'z');
  for (int i = 0; i < 128; ++i)
    source.value[i] = static_cast<unsigned char>(i % 3);
  const CONFIG_OPTION stored = CopyInto(13, source);
  EXPECT_EQ(Bytes(stored.value, 128), Bytes(source.value, 128));
  ExpectOnlyValueChanged(MakeOption(13, 'a'), stored);
}

TEST(CopyOptionValuesTest, CodesWithoutALayoutKeepTheirValue) {
  const CONFIG_OPTION source = MakeOption(0, 'z');
  for (unsigned char type : {1, 2, 3, 5, 6, 8, 12, 14, 255}) {
    const CONFIG_OPTION stored = CopyInto(type, source);
    EXPECT_EQ(Image(stored), Image(MakeOption(type, 'a')))
        << "type " << int{type};
  }
}

TEST(CopyOptionValuesTest, EachPositionFollowsItsOwnStoredType) {
  CONFIG_OPTION stored[3] = {MakeOption(4, 'a'), MakeOption(5, 'b'),
                             MakeOption(13, 'c')};
  const CONFIG_OPTION source[3] = {MakeOption(13, 'x'), MakeOption(13, 'y'),
                                   MakeOption(0, 'z')};
  EXPECT_EQ(CopyOptionValues(stored, source, 3), 1);
  EXPECT_EQ(Bytes(stored[0].value, 4), Bytes(source[0].value, 4));
  EXPECT_EQ(Bytes(stored[1].value, 128), Bytes(MakeOption(5, 'b').value, 128));
  EXPECT_EQ(Bytes(stored[2].value, 128), Bytes(source[2].value, 128));
}

TEST(CopyOptionValuesTest, UnterminatedTextStaysWithinTheValueField) {
  // Heap records of exact size, so a copy running past `value` is caught by
  // the address sanitizer as well as by the fields behind it.
  auto source = std::make_unique<CONFIG_OPTION>(MakeOption(0, 'z'));
  std::memset(source->value, 'T', 128);
  std::memset(source->description, 'D', 192);
  auto stored = std::make_unique<CONFIG_OPTION>(MakeOption(0, 'a'));
  CopyOptionValues(stored.get(), source.get(), 1);
  EXPECT_EQ(Bytes(stored->value, 128), std::string(127, 'T') + '\0');
  ExpectOnlyValueChanged(MakeOption(0, 'a'), *stored);
}

}  // namespace
}  // namespace test
}  // namespace brellox
