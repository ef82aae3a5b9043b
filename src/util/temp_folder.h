// The process's temporary folder and the account test that chooses it.
#pragma once
#include <string>

// True when the process runs as LocalSystem (S-1-5-18); false on any failure.
bool IsLocalSystem();
// The temporary folder, ending with a backslash, computed once per process.
// Under LocalSystem it is the protected SystemTemp folder. Empty when the
// system gives none.
std::wstring GetTempFolder();
