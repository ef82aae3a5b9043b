// Where the running executable lives.
#pragma once
#include <windows.h>

#include <string>

// Full path of the module (the executable for nullptr), whatever its length.
std::wstring GetModulePath(HMODULE module = nullptr);
