#include "platform/core/log_format.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {
TEST(LogFormatTest, Timestamp) {
  EXPECT_EQ(L"2024-03-05 14-07-09", FormatLogTimestamp(2024, 3, 5, 14, 7, 9));
  EXPECT_EQ(L"0999-12-31 00-00-00", FormatLogTimestamp(999, 12, 31, 0, 0, 0));
}

TEST(LogFormatTest, OsVersionLine) {
  OsFacts facts;
  facts.major = 6;
  facts.minor = 1;
  facts.build = 7601;
  facts.service_pack = 1;
  EXPECT_EQ(L"OS Version: 6.1.7601 SP1 (workstation) [x86]\r\n", FormatOsVersionLine(facts));
  facts.major = 10;
  facts.minor = 0;
  facts.build = 20348;
  facts.service_pack = 0;
  facts.is_server = true;
  facts.is_64bit = true;
  EXPECT_EQ(L"OS Version: 10.0.20348 SP0 (server) [x64]\r\n", FormatOsVersionLine(facts));
}

TEST(LogFormatTest, CpuBrand) {
  uint32_t registers[12] = {};
  const char brand[] = "     Intel(R) Xeon(R) CPU E5-2690 v4 @ 2.60GHz";  // 47 characters
  std::memcpy(registers, brand, sizeof(brand));
  // Leading blanks stay; the text ends at its NUL.
  EXPECT_EQ(L"     Intel(R) Xeon(R) CPU E5-2690 v4 @ 2.60GHz",
            CpuBrandFromRegisters(0x80000008u, registers));
  // All 48 bytes used, no NUL inside.
  std::memset(registers, 'A', sizeof(registers));
  EXPECT_EQ(std::wstring(48, L'A'), CpuBrandFromRegisters(0x80000004u, registers));
  // Without the brand leaves (or without cpuid) the registers are not looked at.
  EXPECT_EQ(L"UnkownCPU", CpuBrandFromRegisters(0x80000003u, registers));
  EXPECT_EQ(L"UnkownCPU", CpuBrandFromRegisters(0, registers));
  EXPECT_EQ(L"CPU: UnkownCPU\r\n", FormatCpuLine(kUnknownCpu));
}

TEST(LogFormatTest, LogNamesAndPaths) {
  struct Case {
    const wchar_t* executable;
    const wchar_t* name;
    const wchar_t* beside;
  };
  const Case cases[] = {
      {L"C:\\pkg\\setup.exe", L"setup.LOG", L"C:\\pkg\\setup.LOG"},
      {L"C:\\pkg\\Setup.EXE", L"Setup.LOG", L"C:\\pkg\\Setup.LOG"},
      {L"C:\\pkg\\my.setup.exe", L"my.setup.LOG", L"C:\\pkg\\my.setup.LOG"},
      {L"C:\\pkg\\setup", L"setup.LOG", L"C:\\pkg\\setup.LOG"},
      {L"C:\\pkg\\setup.", L"setup.LOG", L"C:\\pkg\\setup.LOG"},
      // A dot in a folder is no extension: the log stays beside the executable.
      {L"C:\\my.pkg\\setup", L"setup.LOG", L"C:\\my.pkg\\setup.LOG"},
      {L"setup.exe", L"setup.LOG", L"setup.LOG"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.executable)));
    EXPECT_EQ(c.name, LogFileNameFor(c.executable));
    EXPECT_EQ(c.beside, ExecutableLogPath(c.executable));
  }
}

TEST(LogFormatTest, PathBufferLimit) {
  EXPECT_TRUE(FitsLogPathBuffer(std::wstring(259, L'a')));
  EXPECT_FALSE(FitsLogPathBuffer(std::wstring(260, L'a')));
}
}  // namespace
