#include "install/launch_rules.h"

#include "util/path_text.h"

bool IsQuietCommandLine(const std::wstring& arguments) {
  for (size_t i = 1; i < arguments.size(); ++i) {
    if (arguments[i] == L'q' && (arguments[i - 1] == L'-' || arguments[i - 1] == L'/')) return true;
  }
  return false;
}

std::wstring FileExtension(const std::wstring& path) {
  std::wstring name = FileNameOf(FromLongPath(path));
  size_t dot = name.rfind(L'.');
  return dot == std::wstring::npos ? std::wstring() : name.substr(dot + 1);
}

bool IsStorePackage(const std::wstring& path) {
  const std::wstring extension = FileExtension(path);
  return EqualsIgnoreCaseAscii(extension, L"msix") ||
         EqualsIgnoreCaseAscii(extension, L"msixbundle") ||
         EqualsIgnoreCaseAscii(extension, L"appx");
}

bool IsWindowsInstallerPackage(const std::wstring& path) {
  return path.size() >= 4 && EqualsIgnoreCaseAscii(path.substr(path.size() - 4), L".msi");
}

DirectLaunch DirectLaunchFor(const std::wstring& setup_path, const std::wstring& arguments,
                             const std::wstring& system_folder) {
  std::wstring args = arguments;
  if (!args.empty() && args[0] != L' ') args.insert(0, 1, L' ');
  DirectLaunch launch;
  if (IsWindowsInstallerPackage(setup_path)) {
    launch.application = system_folder + L"msiexec.exe";
    launch.command_line = L" /i \"" + FromLongPath(setup_path) + L"\"" + args;
  } else {
    launch.application = setup_path;
    launch.command_line = L"\"" + setup_path + L"\" " + args;
  }
  return launch;
}
