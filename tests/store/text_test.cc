// Fixed-width text fields: the constant-time comparison answers as the
// plain one for every field and text, across the blocks it compares in.
#include "src/store/text.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <random>
#include <string>
#include <vector>

namespace brellox {
namespace test {
namespace {

TEST(TextTest, ConstantTimeEqualityAnswersAsFieldEquals) {
  std::mt19937 random(20261208);
  // Bytes drawn from a small alphabet with NUL, so that equal texts, equal
  // prefixes and early NULs are common.
  const auto byte = [&] { return "ab\0"[random() % 3]; };
  int equal = 0, differing = 0;
  for (const std::size_t width : {1u, 2u, 7u, 64u, 127u, 128u, 129u, 300u}) {
    for (int trial = 0; trial < 2000; ++trial) {
      std::vector<char> field(width);
      for (char& c : field) c = byte();
      // A text as long as the field's text, or around it, often equal to it.
      std::string text(field.data(), FieldLength(field.data(), width));
      switch (random() % 4) {
        case 0:
          break;
        case 1:
          if (!text.empty()) text[random() % text.size()] ^= 1;
          break;
        case 2:
          text += 'a';
          break;
        default:
          text.resize(random() % (width + 2), 'b');
          break;
      }
      const bool expected = FieldEquals(field.data(), width, text.c_str());
      EXPECT_EQ(FieldEqualsConstantTime(field.data(), width, text.c_str()),
                expected)
          << "width " << width << ", text '" << text << "'";
      ++(expected ? equal : differing);
    }
  }
  // Both answers were asked for often.
  EXPECT_GT(equal, 2000);
  EXPECT_GT(differing, 2000);
}

}  // namespace
}  // namespace test
}  // namespace brellox
