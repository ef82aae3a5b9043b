// Where the configuration file of an executable lies.
#pragma once
#include <string>

// The executable's folder (the text before its last backslash, empty when
// there is none).
std::wstring ModuleFolder(const std::wstring& module_path);
// The executable's path with its extension (from the last dot of the file
// name) replaced by ".ini": C:\Setup\my.setup.exe reads C:\Setup\my.setup.ini.
std::wstring ConfigPathForModule(const std::wstring& module_path);
