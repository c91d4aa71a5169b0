#include "brellox/smart_array.h"

#include <gtest/gtest.h>

namespace {

TEST(SmartArray, OutOfRangeIndexesGiveNull) {
  CSmartArray<SVR_LONG> ids;
  EXPECT_EQ(ids.GetAt(0), nullptr);
  SVR_LONG id = 7;
  ids.Add(&id);
  EXPECT_EQ(ids.GetAt(-1), nullptr);
  EXPECT_EQ(ids.GetAt(ids.GetSize()), nullptr);
  ASSERT_NE(ids.GetAt(0), nullptr);
  EXPECT_EQ(*ids.GetAt(0), 7);
}

TEST(SmartArray, AddTakesOnlyTheElementsBytesAndKeepsOrder) {
  CSmartArray<SVR_LONG> ids;
  const SVR_LONG record[3] = {11, 99, 99};  // a record whose ID leads it
  for (SVR_LONG i = 0; i < 1000; ++i) {
    SVR_LONG id = i * 3;
    EXPECT_EQ(ids.Add(i == 0 ? record : &id), i);
  }
  EXPECT_EQ(ids.GetSize(), 1000);
  EXPECT_EQ(*ids.GetAt(0), 11);
  EXPECT_EQ(*ids.GetAt(999), 2997);
}

TEST(SmartArray, NegativeSizeIsRefusedAndRemoveAllRestarts) {
  CSmartArray<SVR_LONG> ids;
  for (SVR_LONG id : {4, 5, 6}) ids.Add(&id);
  EXPECT_EQ(ids.SetSize(-1), -1);
  EXPECT_EQ(ids.GetSize(), 3);
  ids.RemoveAll();
  EXPECT_EQ(ids.GetSize(), 0);
  EXPECT_EQ(ids.GetAt(0), nullptr);
  SVR_LONG id = 8;
  EXPECT_EQ(ids.Add(&id), 0);
  EXPECT_EQ(*ids.GetAt(0), 8);
}

TEST(SmartArray, GrowingSetSizeReadsAsZeros) {
  CSmartArray<SVR_LONG> ids;
  SVR_LONG id = 3;
  ids.Add(&id);
  ids.Add(&id);
  ASSERT_EQ(ids.SetSize(1), 1);
  ASSERT_EQ(ids.SetSize(4), 1);
  EXPECT_EQ(*ids.GetAt(0), 3);
  EXPECT_EQ(*ids.GetAt(1), 0);  // truncated bytes do not come back
  EXPECT_EQ(*ids.GetAt(3), 0);
}

TEST(SmartFile, StreamPositionsAndGaps) {
  CSmartFile stream(1, 4, 0, 0);
  EXPECT_EQ(stream.Seek(8, 0), 8);
  stream.Write("ab", 2);  // leaves a zero gap before it
  EXPECT_EQ(stream.Seek(0, 0), 0);
  const char* bytes = static_cast<const char*>(stream.ReadMemPtr(10));
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(std::string(bytes, 10), std::string("\0\0\0\0\0\0\0\0ab", 10));
  EXPECT_EQ(stream.ReadMemPtr(1), nullptr);  // at the end
  EXPECT_EQ(stream.Seek(-1, 0), -1);
  EXPECT_EQ(stream.Seek(-2, 2), 8);
  EXPECT_EQ(stream.Seek(0, 3), -1);
}

}  // namespace
