// Decisions of the setup launcher that need no system: whether a command line
// asks for a quiet setup, what kind of file a setup is, and the command lines
// Windows Installer is started with.
#pragma once
#include <string>

// True when the arguments hold "-q" or "/q" (also "--q", "/-q", ...): any "q"
// right after a run of "-" and "/". Such a setup's window is started hidden.
bool IsQuietCommandLine(const std::wstring& arguments);
// The extension of the path's last component, without its dot; empty when none.
std::wstring FileExtension(const std::wstring& path);
// "msix", "msixbundle" and "appx", in any letter case, go to the package manager.
bool IsStorePackage(const std::wstring& path);
// Whether the path ends with ".msi", in any letter case.
bool IsWindowsInstallerPackage(const std::wstring& path);

// The program and command line for starting a setup directly (as LocalSystem,
// where the shell is not used). arguments are already expanded; system_folder
// ends with a backslash.
struct DirectLaunch {
  std::wstring application;
  std::wstring command_line;
};
DirectLaunch DirectLaunchFor(const std::wstring& setup_path, const std::wstring& arguments,
                             const std::wstring& system_folder);
