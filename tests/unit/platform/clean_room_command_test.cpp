#include "platform/core/clean_room_command.h"

#include <gtest/gtest.h>

TEST(CleanRoomCommand, TheOriginalComesBackFromTheCommandLineMadeForTheCopy) {
  for (const std::wstring original :
       {L"C:\\Users\\Ann\\Downloads\\setup.exe", L"\\\\server\\share\\a b\\setup (1).exe"}) {
    std::wstring found;
    ASSERT_TRUE(FindCleanRoomOriginal(
        CleanRoomCommandLine(L"\"C:\\x\\setup.exe\" /S", original), &found));
    EXPECT_EQ(found, original);
  }
}

TEST(CleanRoomCommand, RefusesWhatTheFirstProcessCannotHaveWritten) {
  std::wstring found = L"unchanged";
  for (const wchar_t* line :
       {L"setup.exe", L"setup.exe /CleanRoomOriginal=\"", L"setup.exe /CleanRoomOriginal=\"\"",
        L"setup.exe /CleanRoomOriginal=\"setup.exe\"",           // relative
        L"setup.exe /CleanRoomOriginal=\"C:\\a\"b.exe\"",         // quote inside
        L"setup.exe /CleanRoomOriginal=\"C:\\a.exe\" more",       // not at the end
        L"setup.exe /CleanRoomOriginal=C:\\a.exe"}) {             // unquoted
    EXPECT_FALSE(FindCleanRoomOriginal(line, &found)) << line;
  }
  EXPECT_EQ(found, L"unchanged");
}
