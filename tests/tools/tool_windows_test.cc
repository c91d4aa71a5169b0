// The admin tool end to end on Windows: brellox.exe run as its own process,
// its arguments passed as UTF-8 through the wide command line, and the files
// it writes holding passwords closed to other users.
#include <windows.h>
#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "tests/concurrency/child_process.h"
#include "tests/testutil/store_fixture.h"

namespace brellox {
namespace test {
namespace {

// Whether `text` holds `part`, saying which and where either way.
::testing::AssertionResult Holds(const std::string& text,
                                 const std::string& part) {
  const bool found = text.find(part) != std::string::npos;
  return (found ? ::testing::AssertionSuccess() : ::testing::AssertionFailure())
         << "'" << part << "' " << (found ? "in" : "not in") << ": " << text;
}

struct LocalFreeDeleter {
  void operator()(void* memory) const { LocalFree(memory); }
};

std::string SidText(PSID sid) {
  char* text = nullptr;
  if (!ConvertSidToStringSidA(sid, &text)) return "unreadable SID";
  const std::unique_ptr<char, LocalFreeDeleter> holder(text);
  return text;
}

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};

std::string CurrentUserSid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return "";
  const std::unique_ptr<void, HandleCloser> holder(token);
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<char> buffer(size > 0 ? size : 1);
  if (!GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
    return "";
  }
  return SidText(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid);
}

// Wine keeps a file's access list only as its Unix permission bits, and
// reads back what those can say: the owner's and the system's entries, or
// everyone's, but not the Administrators' (a Unix group) nor the protection.
bool UnderWine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") !=
         nullptr;
}

// Who may do what to a file: whether its access list is protected from the
// folder's, and its entries as "allow <mask> <SID>", "inherited" added to
// those the folder passed on.
struct Access {
  bool is_protected = false;
  std::set<std::string> entries;
};

Access AccessOf(const std::filesystem::path& path) {
  Access access;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(path.wstring().c_str(), SE_FILE_OBJECT,
                            DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                            nullptr, &descriptor) != ERROR_SUCCESS) {
    ADD_FAILURE() << "no access list for " << path.u8string();
    return access;
  }
  const std::unique_ptr<void, LocalFreeDeleter> holder(descriptor);
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  GetSecurityDescriptorControl(descriptor, &control, &revision);
  access.is_protected = (control & SE_DACL_PROTECTED) != 0;
  if (dacl == nullptr) access.entries.insert("no list: everyone");
  for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(dacl, i, &ace)) continue;
    const BYTE type = static_cast<ACE_HEADER*>(ace)->AceType;
    if (type != ACCESS_ALLOWED_ACE_TYPE && type != ACCESS_DENIED_ACE_TYPE) {
      access.entries.insert("entry of type " + std::to_string(type));
      continue;
    }
    // Allowing and denying entries share one layout.
    const auto* entry = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    char mask[16];
    std::snprintf(mask, sizeof(mask), "%#lx",
                  static_cast<unsigned long>(entry->Mask));
    const bool inherited = (entry->Header.AceFlags & INHERITED_ACE) != 0;
    access.entries.insert(
        std::string(type == ACCESS_ALLOWED_ACE_TYPE ? "allow " : "deny ") +
        mask + " " + SidText(const_cast<DWORD*>(&entry->SidStart)) +
        (inherited ? " inherited" : ""));
  }
  return access;
}

// The names in a folder, as UTF-8.
std::set<std::string> Names(const std::filesystem::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    names.insert(entry.path().filename().u8string());
  }
  return names;
}

struct Result {
  int exit_code = -1;
  std::string out;  // without the carriage returns of text mode
  std::string err;
  int ErrLines() const {
    int lines = 0;
    for (char c : err) lines += c == '\n' ? 1 : 0;
    return lines;
  }
};

std::string WithoutCarriageReturns(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

class WindowsToolTest : public ::testing::Test {
 protected:
  // Runs brellox.exe (a copy beside a copy of the library) in the folder,
  // with `input` on its standard input.
  Result Run(const std::vector<std::string>& args,
             const std::string& input = "") {
    const StandardStreams streams{io_.path() / "in", io_.path() / "out",
                                  io_.path() / "err"};
    WriteBytes(streams.input, input);
    ChildProcess tool = folder_.Start(BRELLOX_TOOL_PATH, args, streams);
    Result result;
    result.exit_code = tool.Wait();
    result.out = WithoutCarriageReturns(ReadBytes(streams.output));
    result.err = WithoutCarriageReturns(ReadBytes(streams.error));
    return result;
  }
  // The same with `--config <file in the folder>` first.
  Result RunOn(const char* file, const std::vector<std::string>& args,
               const std::string& input = "") {
    std::vector<std::string> full = {"--config", Path(file).u8string()};
    full.insert(full.end(), args.begin(), args.end());
    return Run(full, input);
  }
  std::filesystem::path Path(const char* name) const {
    return folder_.path() / name;
  }

  LibraryFolder folder_;
  ScopedTempDir io_;
};

TEST_F(WindowsToolTest, UsageMistakesGetOneLineAndExitTwo) {
  ASSERT_EQ(RunOn("a.CFG", {"init"}).exit_code, 0);
  const std::string before = ReadBytes(Path("a.CFG"));
  const struct {
    std::vector<std::string> args;
    std::string says;
  } kCases[] = {
      {{"shwo"}, "unknown command 'shwo'; did you mean 'show'?"},
      {{"user", "add", "bob", "--password", "s3cret"}, "--password-stdin"},
      {{"priv", "set", "5", "bob", "3"},
       "privilege ID 'bob' is not a 32-bit integer"},
      {{"--config", "other.CFG", "show"}, "--config is given more than once"},
  };
  for (const auto& c : kCases) {
    const Result r = RunOn("a.CFG", c.args);
    const std::string shown = ::testing::PrintToString(c.args);
    EXPECT_EQ(r.exit_code, 2) << shown << r.err;
    EXPECT_EQ(r.ErrLines(), 1) << shown << r.err;
    EXPECT_TRUE(Holds(r.err, c.says)) << shown;
    EXPECT_FALSE(Holds(r.err, "s3cret")) << shown;
    EXPECT_EQ(r.out, "") << shown;
  }
  EXPECT_EQ(ReadBytes(Path("a.CFG")), before);
  const Result version = Run({"--version"});
  EXPECT_EQ(version.exit_code, 0) << version.err;
  EXPECT_TRUE(std::regex_match(
      version.out, std::regex("brellox [0-9]+\\.[0-9]+\\.[0-9]+\n")))
      << version.out;
}

TEST_F(WindowsToolTest,
       CommandsBackUpRestoreAndCompareWithoutShowingPasswords) {
  const std::string kPasswords[] = {"Pw-alice-71", "Pw-bob-72"};
  const std::string backup = Path("full.json").u8string();
  const struct {
    const char* file;
    std::vector<std::string> args;
    std::string input;
    int exit_code;
    std::string says;
  } kSteps[] = {
      {"a.CFG", {"init"}, "", 0, "wrote the default configuration to"},
      {"a.CFG",
       {"user", "add", "alice", "--password-stdin"},
       kPasswords[0] + "\n",
       0,
       "added user 'alice' with ID 1"},
      {"a.CFG", {"user", "list", "--json"}, "", 0, "\"name\": \"alice\""},
      {"a.CFG", {"check"}, "", 0, "0 error(s), 0 warning(s)"},
      {"a.CFG", {"export", "--with-passwords", "-o", backup}, "", 0, ""},
      {"restored.CFG", {"import", backup}, "", 0, "imported"},
      {"piped.CFG", {"import", "-"}, "<backup>", 0, "imported standard input"},
      {"dry.CFG", {"import", "--dry-run", backup}, "", 0, "would write"},
      {"a.CFG",
       {"diff", Path("a.CFG").u8string(), Path("restored.CFG").u8string()},
       "",
       0,
       "no differences"},
      {"restored.CFG",
       {"user", "add", "bob", "--password-stdin"},
       kPasswords[1] + "\n",
       0,
       "added user 'bob' with ID 2"},
      {"a.CFG",
       {"diff", Path("a.CFG").u8string(), Path("restored.CFG").u8string()},
       "",
       6,
       "bob"},
  };
  for (const auto& step : kSteps) {
    const std::string shown = ::testing::PrintToString(step.args);
    const std::string input =
        step.input == "<backup>" ? ReadBytes(Path("full.json")) : step.input;
    const Result r = RunOn(step.file, step.args, input);
    EXPECT_EQ(r.exit_code, step.exit_code) << shown << r.err;
    EXPECT_TRUE(Holds(r.out, step.says)) << shown;
    for (const std::string& password : kPasswords) {
      EXPECT_FALSE(Holds(r.out + r.err, password)) << shown;
    }
    if (step.args[0] == "import" && step.args[1] != "--dry-run") {
      EXPECT_EQ(ReadBytes(Path(step.file)), ReadBytes(Path("a.CFG"))) << shown;
    }
  }
  // The backup asked for holds the password; a dry run wrote nothing.
  EXPECT_TRUE(Holds(ReadBytes(Path("full.json")), kPasswords[0]));
  EXPECT_FALSE(std::filesystem::exists(Path("dry.CFG")));
}

TEST_F(WindowsToolTest, FilesHoldingPasswordsAreClosedToOtherUsers) {
  ASSERT_EQ(RunOn("a.CFG", {"init"}).exit_code, 0);
  ASSERT_EQ(RunOn("a.CFG", {"export", "--with-passwords", "-o",
                            Path("full.json").u8string()})
                .exit_code,
            0);
  ASSERT_EQ(RunOn("b.CFG", {"import", Path("full.json").u8string()}).exit_code,
            0);
  // The library's own file, made when the tool loaded the library, and its
  // journal, made by a change: both keep the folder's access, so that a
  // server's service account can use them.
  ASSERT_EQ(Run({"user", "add", "carol", "--password-stdin"}, "pw\n").exit_code,
            0);

  // Full access for the user, the system and Administrators, no one else.
  const std::string fa = "allow 0x1f01ff ";
  std::set<std::string> kPrivate = {fa + CurrentUserSid(), fa + "S-1-5-18"};
  if (!UnderWine()) kPrivate.insert(fa + "S-1-5-32-544");
  for (const char* file : {"a.CFG", "full.json", "b.CFG"}) {
    const Access access = AccessOf(Path(file));
    EXPECT_TRUE(access.is_protected || UnderWine()) << file;
    EXPECT_EQ(access.entries, kPrivate) << file;
  }
  for (const char* file : {"Svr_Config.CFG", "Svr_Config.CFG-journal"}) {
    ASSERT_TRUE(std::filesystem::exists(Path(file))) << file;
    const Access access = AccessOf(Path(file));
    EXPECT_FALSE(access.is_protected) << file;
    EXPECT_NE(access.entries, kPrivate) << file;
  }
}

TEST_F(WindowsToolTest, NonAsciiConfigPathNamesThatFile) {
  ASSERT_EQ(Run({"--version"}).exit_code, 0);  // the folder's own files made
  std::set<std::string> before = Names(folder_.path());
  const std::filesystem::path dir =
      folder_.path() / std::filesystem::u8path(u8"配置");
  std::filesystem::create_directory(dir);
  const std::filesystem::path file =
      dir / std::filesystem::u8path(u8"数据.CFG");
  const std::string config = file.u8string();

  const Result init = Run({"--config", config, "init"});
  EXPECT_EQ(init.exit_code, 0) << init.err;
  EXPECT_TRUE(Holds(init.out, config));
  const Result add =
      Run({"--config", config, "user", "add", u8"张三", "--password-stdin"},
          "s3cret\n");
  EXPECT_EQ(add.exit_code, 0) << add.err;
  const Result list = Run({"--config", config, "user", "list", "--json"});
  EXPECT_EQ(list.exit_code, 0) << list.err;
  EXPECT_TRUE(Holds(list.out, u8"\"name\": \"张三\""));

  // That file, its journal, and nothing anywhere else.
  EXPECT_EQ(Names(dir),
            (std::set<std::string>{u8"数据.CFG", u8"数据.CFG-journal"}));
  before.insert(u8"配置");
  EXPECT_EQ(Names(folder_.path()), before);
}

}  // namespace
}  // namespace test
}  // namespace brellox
