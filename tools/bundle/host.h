// What the bundling tool needs from the host system, for Linux and Windows:
// a scratch folder, random numbers and the executable bit.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// A new empty folder below the temporary folder; empty on failure.
std::string MakeScratchFolder();
// Removes the folder and everything in it.
void RemoveTree(const std::string& folder);
// Fills data with bytes from the system's cryptographic random source; false
// when there is none (the caller must not go on with predictable bytes).
bool RandomBytes(uint8_t* data, size_t size);
void MakeExecutable(const std::string& path);
// The file name of a path given on the command line (either separator on Windows).
std::string BaseName(const std::string& path);
// Command-line text (UTF-8 on Linux, the ANSI code page on Windows) as UTF-16 text.
std::wstring ToWide(const std::string& text);
