#include "archive/entry_name.h"

#include <gtest/gtest.h>

// Every refused name is one that would write outside the extraction folder,
// open a device, or land under another name than the one checked.
TEST(EntryName, RefusesNamesThatEscapeOrAliasTheFolder) {
  const wchar_t* refused[] = {L"",
                              L".",
                              L"..",
                              L"..\\setup.exe",
                              L"a\\..\\b.exe",
                              L"dir/setup.exe",
                              L"dir\\setup.exe",
                              L"C:setup.exe",
                              L"C:\\setup.exe",
                              L"\\\\server\\share\\x.exe",
                              L"setup.exe:stream",
                              L"x..y.exe",
                              L"setup.exe.",
                              L"setup.exe ",
                              L" setup.exe",
                              L"CON",
                              L"con.txt",
                              L"NUL",
                              L"Aux.exe",
                              L"prn",
                              L"COM1",
                              L"com9.exe",
                              L"LPT1",
                              L"lpt5.log",
                              L"CONIN$",
                              L"COM\u00B9",
                              L"a*b.exe",
                              L"a?b.exe",
                              L"a<b",
                              L"a>b",
                              L"a|b",
                              L"a\"b",
                              L"tab\there",
                              L"bell\x07"};
  for (const wchar_t* name : refused) EXPECT_FALSE(IsSafeEntryName(name)) << name;
  EXPECT_FALSE(IsSafeEntryName(std::wstring(kMaxEntryNameLength + 1, L'a')));
}

TEST(EntryName, AcceptsOrdinaryFileNames) {
  const wchar_t* accepted[] = {
      L"setup.exe",    L"runtime-a.exe", L"vc_redist.x86.exe", L"CONSOLE.exe",       L"com10.exe",
      L"nullable.msi", L"lpt.txt",       L"Setup Runtime.exe", L"\u00e9t\u00e9.msi", L"a.b.c"};
  for (const wchar_t* name : accepted) EXPECT_TRUE(IsSafeEntryName(name)) << name;
  EXPECT_TRUE(IsSafeEntryName(std::wstring(kMaxEntryNameLength, L'a')));
}
