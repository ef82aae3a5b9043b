// What the bundling tool needs from the host system, for Linux and Windows:
// running 7-Zip, a scratch folder, file copies and the executable bit.
#pragma once
#include <string>
#include <vector>

// Runs program (looked up on PATH) with args in folder cwd and waits. The
// exit code, or -1 when it could not be started.
int RunProgram(const std::vector<std::string>& args, const std::string& cwd);
// A new empty folder below the temporary folder; empty on failure.
std::string MakeScratchFolder();
// Removes the folder and everything in it.
void RemoveTree(const std::string& folder);
// Places a copy of from at to (a hard link where possible).
bool LinkOrCopy(const std::string& from, const std::string& to);
void MakeExecutable(const std::string& path);
// The file name of a path given on the command line (either separator on Windows).
std::string BaseName(const std::string& path);
// Command-line text (UTF-8 on Linux, the ANSI code page on Windows) as UTF-16 text.
std::wstring ToWide(const std::string& text);
