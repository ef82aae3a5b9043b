#include "platform/core/logger.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <regex>
#include <thread>
#include <vector>

#include "platform/core/everyone_security.h"
#include "test_support.h"
#include "util/file_ops.h"

namespace {
const char kMark[] = "\xff\xfe";
// The unit-test prefix is Wine's 64-bit Windows 7 SP1.
const wchar_t kHeader[] =
    L"\r\n<< Corvane (x86) Log >>\r\n"
    L"OS Version: 6.1.7601 SP1 (workstation) [x64]\r\n"
    L"CPU: *\r\n"
    L"\r\n";
const wchar_t kEndLine[] = L"TS-=====================End of Log=====================\r\n\r\n";

std::string ReadBytes(const std::wstring& path) {
  std::string bytes;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
    bytes.append(buffer, read);
  }
  CloseHandle(file);
  return bytes;
}

std::wstring AsText(const std::string& bytes) {
  return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
}

// The log text with every time stamp replaced by "TS" and the processor brand
// by "*", after checking that the brand is there.
std::wstring Masked(std::wstring text) {
  EXPECT_FALSE(std::regex_search(text, std::wregex(L"CPU: \r\n")));
  text = std::regex_replace(text, std::wregex(L"CPU: [^\r\n]+\r\n"), L"CPU: *\r\n");
  return std::regex_replace(text, std::wregex(L"\\d{4}-\\d{2}-\\d{2} \\d{2}-\\d{2}-\\d{2}-"),
                            L"TS-");
}

// The log of a file that this test created: one mark, then text.
std::wstring LogText(const std::wstring& path) {
  std::string bytes = ReadBytes(path);
  EXPECT_EQ(kMark, bytes.substr(0, 2));
  return Masked(AsText(bytes.substr(2)));
}

class LoggingEnabledScope {
 public:
  explicit LoggingEnabledScope(bool enabled) : saved_(LoggingEnabled) { LoggingEnabled = enabled; }
  ~LoggingEnabledScope() { LoggingEnabled = saved_; }

 private:
  bool saved_;
};

TEST(LoggerTest, NewFileHasOneMarkTheHeaderAndTimeStampedLines) {
  ScratchFolder folder;
  const std::wstring path = folder / L"run.log";
  {
    Logger logger;
    logger.SetLogFile(path);
    EXPECT_FALSE(PathExists(path)) << "SetLogFile must not open the file";
    logger.Write(L"Searching for:App");
    logger.Write(L"two\r\nlines after one time stamp");
    logger.Write(L"");
  }
  EXPECT_EQ(std::wstring(kHeader) +
                L"TS-Searching for:App\r\nTS-two\r\nlines after one time stamp\r\nTS-\r\n",
            LogText(path));

  // The stamp is the local time of the write.
  SYSTEMTIME now;
  GetLocalTime(&now);
  std::wstring text = AsText(ReadBytes(path).substr(2));
  size_t stamp = text.find(L"-Searching") - 19;
  EXPECT_EQ(std::to_wstring(now.wYear), text.substr(stamp, 4));
}

TEST(LoggerTest, ReopeningAppendsAHeaderWithoutASecondMark) {
  ScratchFolder folder;
  const std::wstring path = folder / L"run.log";
  for (const wchar_t* line : {L"first run", L"second run"}) {
    Logger logger;
    logger.SetLogFile(path);
    logger.Write(line);
  }
  EXPECT_EQ(std::wstring(kHeader) + L"TS-first run\r\n" + kHeader + L"TS-second run\r\n",
            LogText(path));

  // Someone else's file: appended after its last byte, no mark added.
  const std::wstring other = folder / L"other.log";
  ASSERT_TRUE(WriteBytes(other, "ab"));
  {
    Logger logger;
    logger.SetLogFile(other);
    logger.Write(L"x");
  }
  std::string bytes = ReadBytes(other);
  EXPECT_EQ("ab", bytes.substr(0, 2));
  EXPECT_EQ(std::wstring(kHeader) + L"TS-x\r\n", Masked(AsText(bytes.substr(2))));
}

TEST(LoggerTest, SetLogFileOnlyChoosesBeforeTheFileIsOpen) {
  ScratchFolder folder;
  Logger logger;
  logger.SetLogFile(folder / L"dropped.log");
  logger.SetLogFile(folder / L"first.log");
  logger.Write(L"one");
  logger.SetLogFile(folder / L"second.log");
  logger.Write(L"two");
  EXPECT_FALSE(PathExists(folder / L"dropped.log"));
  EXPECT_FALSE(PathExists(folder / L"second.log"));
  EXPECT_EQ(std::wstring(kHeader) + L"TS-one\r\nTS-two\r\n", LogText(folder / L"first.log"));
}

TEST(LoggerTest, FinishWritesTheEndLineLastAndClosesForGood) {
  ScratchFolder folder;
  const std::wstring path = folder / L"run.log";
  {
    LoggingEnabledScope enabled(true);
    Logger logger;
    logger.SetLogFile(path);
    logger.Write(L"line");
    logger.Finish();
    // A thread still running at exit: nothing may follow the end line, not
    // even a header in a file opened anew.
    logger.Write(L"too late");
    logger.SetLogFile(folder / L"late.log");
    logger.Write(L"too late");
    logger.Finish();
  }
  EXPECT_EQ(std::wstring(kHeader) + L"TS-line\r\n" + kEndLine, LogText(path));
  EXPECT_FALSE(PathExists(folder / L"late.log"));
}

TEST(LoggerTest, FinishWritesNothingWhenLoggingIsOff) {
  ScratchFolder folder;
  const std::wstring path = folder / L"run.log";
  {
    LoggingEnabledScope disabled(false);
    Logger logger;
    logger.SetLogFile(path);
    logger.Finish();
  }
  EXPECT_FALSE(PathExists(path));
}

TEST(LoggerTest, LinesOfConcurrentWritersNeverInterleave) {
  ScratchFolder folder;
  const std::wstring path = folder / L"run.log";
  const int kThreads = 8, kLines = 200;
  {
    Logger logger;
    logger.SetLogFile(path);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&logger, t] {
        for (int n = 0; n < kLines; ++n) {
          // Lengths vary so that a torn line cannot look whole by chance.
          logger.Write(L"T" + std::to_wstring(t) + L" L" + std::to_wstring(n) + L" " +
                       std::wstring((t * 7 + n) % 40, L'a' + t));
        }
      });
    }
    for (std::thread& thread : threads) thread.join();
  }
  std::wstring text = LogText(path);
  ASSERT_EQ(0u, text.find(kHeader));
  text.erase(0, wcslen(kHeader));
  std::wregex line(L"TS-T(\\d+) L(\\d+) ([a-z]*)\r\n");
  std::vector<int> next(kThreads, 0);
  int count = 0;
  auto begin = text.cbegin();
  std::wsmatch match;
  while (
      std::regex_search(begin, text.cend(), match, line, std::regex_constants::match_continuous)) {
    int t = std::stoi(match[1].str()), n = std::stoi(match[2].str());
    ASSERT_LT(t, kThreads);
    EXPECT_EQ(next[t], n) << "lines of one thread out of order";
    EXPECT_EQ(std::wstring((t * 7 + n) % 40, L'a' + t), match[3].str());
    next[t] = n + 1;
    ++count;
    begin = match[0].second;
  }
  EXPECT_EQ(text.cend(), begin) << "torn text at line " << count;
  EXPECT_EQ(kThreads * kLines, count);
}

// The fallback locations of this very program: unit_platform.exe logs as
// unit_platform.LOG.
struct Places {
  std::wstring common_folder;  // <common application data>\CORVANE_LOGS
  std::wstring common_log;
  std::wstring beside_log;  // beside the executable
  std::wstring temp_folder;
  std::wstring temp_log;
};

Places FallbackPlaces() {
  Places places;
  wchar_t buffer[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, buffer);
  places.common_folder = std::wstring(buffer) + L"\\CORVANE_LOGS";
  places.common_log = places.common_folder + L"\\unit_platform.LOG";
  GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  std::wstring executable = buffer;
  places.beside_log = executable.substr(0, executable.rfind(L'\\')) + L"\\unit_platform.LOG";
  GetTempPathW(MAX_PATH, buffer);
  places.temp_folder = std::wstring(buffer) + L"CORVANE_LOGS";
  places.temp_log = places.temp_folder + L"\\unit_platform.LOG";
  return places;
}

// Removes whatever the previous step left or blocked, files and folders alike.
void Clear(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    DeleteFolderTree(path);
    RemoveDirectoryW(path.c_str());
  } else {
    DeleteFileW(path.c_str());
  }
}

class FallbackTest : public testing::Test {
 protected:
  void SetUp() override { ClearAll(); }
  void TearDown() override { ClearAll(); }
  void ClearAll() {
    for (const std::wstring& path :
         {places_.common_folder, places_.beside_log, places_.temp_folder}) {
      Clear(path);
    }
  }
  Places places_ = FallbackPlaces();
};

// A file where a folder should be (or the reverse) makes a location fail.
void Block(const std::wstring& path, bool as_folder) {
  if (as_folder) {
    ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
  } else {
    ASSERT_TRUE(WriteBytes(path, "blocked"));
  }
}

TEST_F(FallbackTest, MissingFolderLandsInTheSharedLogFolder) {
  {
    Logger logger;
    logger.SetLogFile(L"C:\\no-such-folder\\deeper\\run.log");
    logger.Write(L"line");
  }
  EXPECT_FALSE(PathExists(L"C:\\no-such-folder"));
  EXPECT_EQ(std::wstring(kHeader) + L"TS-line\r\n", LogText(places_.common_log));
}

// The shared folder is writable by everyone: a second name planted there for
// a file elsewhere must not make an elevated run write into that file.
TEST_F(FallbackTest, ASecondNameInTheSharedFolderIsRefusedNotWrittenThrough) {
  ScratchFolder elsewhere;
  const std::wstring victim = elsewhere / L"victim.txt";
  ASSERT_TRUE(WriteBytes(victim, "precious"));
  ASSERT_TRUE(CreateDirectoryW(places_.common_folder.c_str(), nullptr));
  if (!CreateHardLinkW(places_.common_log.c_str(), victim.c_str(), nullptr)) {
    GTEST_SKIP() << "no hard links here: error " << GetLastError();
  }
  {
    Logger logger;
    logger.Write(L"beside");
  }
  EXPECT_EQ("precious", ReadBytes(victim));
  EXPECT_EQ(std::wstring(kHeader) + L"TS-beside\r\n", LogText(places_.beside_log));
}

// The same for a symbolic link, where this Wine can make one.
TEST_F(FallbackTest, ASymbolicLinkInTheSharedFolderIsRefusedNotFollowed) {
  ScratchFolder elsewhere;
  const std::wstring victim = elsewhere / L"victim.txt";
  ASSERT_TRUE(WriteBytes(victim, "precious"));
  ASSERT_TRUE(CreateDirectoryW(places_.common_folder.c_str(), nullptr));
  using CreateLinkFn = BOOLEAN(WINAPI*)(LPCWSTR, LPCWSTR, DWORD);
  auto create_link = reinterpret_cast<CreateLinkFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "CreateSymbolicLinkW")));
  // Some Wine versions report success without making anything: look on disk.
  const DWORD attributes = create_link && create_link(places_.common_log.c_str(), victim.c_str(), 0)
                               ? GetFileAttributesW(places_.common_log.c_str())
                               : INVALID_FILE_ATTRIBUTES;
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    GTEST_SKIP() << "this Wine makes no file symbolic links";
  }
  {
    Logger logger;
    logger.Write(L"beside");
  }
  EXPECT_EQ("precious", ReadBytes(victim));
  EXPECT_EQ(std::wstring(kHeader) + L"TS-beside\r\n", LogText(places_.beside_log));
}

// Wine keeps no DACLs on files, so the folder's security is checked on the
// descriptor it is created with.
TEST(EveryoneSecurityTest, OneNonInheritedEntryGivingEveryoneAllAccess) {
  EveryoneSecurity security;
  ASSERT_TRUE(security.valid());
  SECURITY_ATTRIBUTES* attributes = security.attributes();
  ASSERT_NE(nullptr, attributes);
  EXPECT_EQ(sizeof(SECURITY_ATTRIBUTES), attributes->nLength);
  EXPECT_FALSE(attributes->bInheritHandle);
  BOOL present = FALSE, defaulted = TRUE;
  PACL dacl = nullptr;
  ASSERT_TRUE(
      GetSecurityDescriptorDacl(attributes->lpSecurityDescriptor, &present, &dacl, &defaulted));
  EXPECT_TRUE(present);
  EXPECT_FALSE(defaulted);
  ASSERT_NE(nullptr, dacl);
  ASSERT_EQ(1, dacl->AceCount);
  ACCESS_ALLOWED_ACE* ace = nullptr;
  ASSERT_TRUE(GetAce(dacl, 0, reinterpret_cast<void**>(&ace)));
  EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, ace->Header.AceType);
  EXPECT_EQ(0, ace->Header.AceFlags);
  EXPECT_EQ(static_cast<DWORD>(GENERIC_ALL), ace->Mask);
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID everyone = nullptr;
  ASSERT_TRUE(
      AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone));
  EXPECT_TRUE(EqualSid(everyone, &ace->SidStart));
  FreeSid(everyone);

  ScratchFolder folder;
  EXPECT_TRUE(CreateDirectoryW((folder / L"shared").c_str(), attributes));
}

TEST_F(FallbackTest, EachFailingLocationGivesWayToTheNext) {
  // The shared folder is a file: the log goes beside the executable.
  Block(places_.common_folder, false);
  {
    Logger logger;
    logger.Write(L"beside");
  }
  EXPECT_EQ(std::wstring(kHeader) + L"TS-beside\r\n", LogText(places_.beside_log));

  // That name is a folder too: the temporary folder's CORVANE_LOGS, created.
  Clear(places_.beside_log);
  Block(places_.beside_log, true);
  {
    Logger logger;
    logger.Write(L"temp");
  }
  EXPECT_EQ(std::wstring(kHeader) + L"TS-temp\r\n", LogText(places_.temp_log));

  // Nowhere to go: the line is lost, and the next line searches again from
  // the first fallback.
  Clear(places_.temp_folder);
  Block(places_.temp_folder, false);
  Logger logger;
  logger.Write(L"lost");
  EXPECT_EQ("blocked", ReadBytes(places_.temp_folder));
  Clear(places_.common_folder);
  logger.Write(L"found again");
  EXPECT_EQ(std::wstring(kHeader) + L"TS-found again\r\n", LogText(places_.common_log));
}

TEST_F(FallbackTest, ATemporaryFolderBeyondThePathBufferIsNoLocation) {
  Block(places_.common_folder, false);
  Block(places_.beside_log, true);
  wchar_t saved[MAX_PATH] = {};
  DWORD saved_length = GetEnvironmentVariableW(L"TMP", saved, MAX_PATH);
  for (size_t length : {250, 300}) {
    SCOPED_TRACE(length);
    std::wstring long_temp = L"C:\\" + std::wstring(length, L't');
    SetEnvironmentVariableW(L"TMP", long_temp.c_str());
    Logger logger;
    logger.Write(L"lost");
    logger.Finish();
    SetEnvironmentVariableW(L"TMP", saved_length ? saved : nullptr);
    EXPECT_FALSE(PathExists(long_temp));
  }
}
}  // namespace
