// How the first process tells its copy in the private folder where the
// program really lives: one switch appended to the command line, which no
// user types and which the copy checks before it believes it.
#pragma once
#include <string>

// The command line for the copy: the original one and the switch naming the
// original executable, quoted.
std::wstring CleanRoomCommandLine(const std::wstring& command_line, const std::wstring& original);

// The original executable's path when command_line ends with the switch (a
// full path: drive or UNC, no quote inside); false when there is no switch or
// it is malformed.
bool FindCleanRoomOriginal(const std::wstring& command_line, std::wstring* original);
