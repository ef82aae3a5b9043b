// Where the running executable lives.
#pragma once
#include <windows.h>

#include <string>

// Full path of the module (the executable for nullptr), whatever its length.
std::wstring GetModulePath(HMODULE module = nullptr);

// The executable the user started. It differs from GetModulePath() when the
// program runs from a private copy: the configuration, the bundle, the log's
// default place and the cleanup all belong to the original. Set once at
// start, before other threads exist; GetModulePath() until then.
void SetProgramPath(const std::wstring& path);
std::wstring GetProgramPath();
