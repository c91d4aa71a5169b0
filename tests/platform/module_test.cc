// Where a loaded module lies, and (on Windows) the conversions every path to
// and from the system goes through.
#include "platform/module.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#ifdef _WIN32
#include <windows.h>

#include "platform/utf16.h"
#endif

namespace brellox {
namespace test {
namespace {

int g_object_in_this_program = 0;

// The directory of the running program, asked of the system another way.
std::filesystem::path ProgramDirectory() {
#ifdef _WIN32
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::filesystem::path(std::wstring(path, length)).parent_path();
#else
  return std::filesystem::canonical("/proc/self/exe").parent_path();
#endif
}

TEST(ModuleTest, AnAddressNamesTheDirectoryOfItsModule) {
  const std::filesystem::path expected = ProgramDirectory();
  for (const void* address :
       {reinterpret_cast<const void*>(&ProgramDirectory),
        static_cast<const void*>(&g_object_in_this_program)}) {
    std::string directory = "stale";
    ASSERT_TRUE(GetModuleDirectory(address, &directory));
    ASSERT_FALSE(directory.empty());
    const char last = directory.back();
    EXPECT_TRUE(last == '/' || last == '\\') << directory;
    // The directory without its final separator.
    EXPECT_TRUE(std::filesystem::equivalent(
        std::filesystem::u8path(directory).parent_path(), expected))
        << directory;
  }
}

#ifdef _WIN32
TEST(Utf16Test, RoundTripsEveryPlaneAndRefusesBrokenForms) {
  // "é", a CJK character and one outside the BMP (a surrogate pair).
  const std::string utf8 = "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80";
  std::wstring wide;
  ASSERT_TRUE(Utf8ToUtf16(utf8, &wide));
  EXPECT_EQ(wide, std::wstring(L"a\u00E9\u4E2D\U0001F600"));
  std::string back = "stale";
  ASSERT_TRUE(Utf16ToUtf8(wide, &back));
  EXPECT_EQ(back, utf8);

  EXPECT_FALSE(Utf8ToUtf16("a\xFF", &wide));
  EXPECT_TRUE(wide.empty());
  EXPECT_FALSE(Utf16ToUtf8(std::wstring(1, wchar_t(0xD800)), &back));
  EXPECT_TRUE(back.empty());
}
#endif

}  // namespace
}  // namespace test
}  // namespace brellox
