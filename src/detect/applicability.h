// Whether a prerequisite applies to this machine at all: its language list
// and its processor letters. The operating-system lists live with the
// Windows facts.
#pragma once
#include <cstdint>
#include <string>

// What the system says about its native processor.
enum class NativeMachine {
  NoApi,       // IsWow64Process2 does not exist (before Windows 10 1709)
  CallFailed,  // it exists but failed: nothing can be decided
  Arm64,
  Other,
};

// An empty list accepts every language. Otherwise each item ends at the next
// ";" (text after the last ";" is ignored) and is read as a decimal number
// whose low 16 bits must equal the language identifier.
bool LanguageListAccepts(const std::wstring& list, uint16_t language_id);
// True when the option letters rule the machine out: "c" excludes ARM64
// machines, "d" excludes every other machine and those that cannot tell.
bool ProcessorRulesExclude(const std::wstring& options, NativeMachine machine);
