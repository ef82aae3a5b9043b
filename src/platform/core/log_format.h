// The texts of the log file and the names of its places, as pure functions:
// what the logger writes and where, without touching the file system.
#pragma once
#include <cstdint>
#include <string>

#include "detect/os_names.h"

// The banner at the top of every opening of the file: an empty line, the
// banner, a line end.
extern const wchar_t kLogBanner[];
// The text of the last line; Logger::Write adds the time stamp and one more line end.
extern const wchar_t kEndOfLogText[];
// What the header says when the processor has no brand string.
extern const wchar_t kUnknownCpu[];
// The folder the fallback locations put the log into.
extern const wchar_t kFallbackLogFolder[];
// Units in the fixed path buffers, terminator included: a location whose path
// needs more cannot form its path.
constexpr size_t kLogPathBufferUnits = 260;

// "2024-03-05 14-07-09": the date and the time both with hyphens.
std::wstring FormatLogTimestamp(int year, int month, int day, int hour, int minute, int second);
// "OS Version: 6.1.7601 SP1 (workstation) [x64]\r\n".
std::wstring FormatOsVersionLine(const OsFacts& facts);
// "CPU: <brand>\r\n".
std::wstring FormatCpuLine(const std::wstring& brand);

// The brand string from the cpuid registers EAX, EBX, ECX, EDX of the leaves
// 0x80000002..4 (12 words, in that order), up to its first NUL and with its
// blanks kept; kUnknownCpu when max_extended_leaf (the EAX of leaf 0x80000000)
// says those leaves do not exist.
std::wstring CpuBrandFromRegisters(uint32_t max_extended_leaf, const uint32_t (&registers)[12]);

// The log file name for an executable: its file name (folder dropped) with the
// extension replaced by "LOG", or ".LOG" appended when the name has no dot.
std::wstring LogFileNameFor(const std::wstring& executable_path);
// The executable's own path with the extension of its file name replaced the
// same way ("C:\a\setup.exe" gives "C:\a\setup.LOG"). A dot in a folder name
// is never taken for the extension.
std::wstring ExecutableLogPath(const std::wstring& executable_path);
// True when the path fits the fixed path buffers with its terminator.
bool FitsLogPathBuffer(const std::wstring& path);
