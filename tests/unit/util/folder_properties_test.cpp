#include "util/folder_properties.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "util/module_path.h"
#include "util/temp_folder.h"
#include "util/unique_handle.h"

namespace {

// Answers a few names and records what the scanner asked for.
struct FakeResolver {
  std::vector<std::wstring> asked;

  bool operator()(ReferenceKind kind, const std::wstring& name, std::wstring* value) {
    asked.push_back(name);
    const wchar_t* answer = nullptr;
    switch (kind) {
      case ReferenceKind::FolderProperty:
        if (name == L"F") answer = L"C:\\F\\";
        if (name == L"Loop") answer = L"[F]%V%!R!";
        break;
      case ReferenceKind::Environment:
        if (name == L"V") answer = L"val";
        if (name == L"Empty") answer = L"";
        break;
      case ReferenceKind::Registry:
        if (name == L"HKLM\\K\\V") answer = L"reg";
        break;
    }
    if (!answer) return false;
    *value = answer;
    return true;
  }
};

TEST(ExpandReferencesTest, ScanningRules) {
  const struct {
    const wchar_t* text;
    const wchar_t* expected;
  } cases[] = {
      {L"", L""},
      {L"plain text", L"plain text"},
      {L"[F]setup.exe", L"C:\\F\\setup.exe"},
      {L"[F][F]", L"C:\\F\\C:\\F\\"},
      {L"[Unknown]\\x", L"[Unknown]\\x"},  // not a folder property: kept, brackets too
      {L"[]", L"[]"},
      {L"[[F]", L"[[F]"},  // the name runs to the first "]"
      {L"[F", L"[F"},
      {L"a %V% b", L"a val b"},
      {L"a%Undefined%b", L"ab"},  // an undefined variable disappears
      {L"a%Empty%b", L"ab"},
      {L"%%", L""},                          // an empty name is never defined
      {L"100% sure", L"100% sure"},          // a single "%" stays
      {L"50% or 60% of %V%", L"50 of val"},  // " or 60" was taken as a name
      {L"!HKLM\\K\\V!", L"reg"},
      {L"x!HKLM\\Missing\\V!y", L"xy"},  // an unreadable value disappears
      {L"Hello!", L"Hello!"},
      {L"!!", L"!!"},  // "!" looks for its closer from the second character on
      {L"!!x!", L""},  // so this names "!x"
      {L"a!b!c", L"ac"},
      {L"x[F %V% [F]", L"x[F %V% [F]"},  // an unclosed opener ends all expansion
      {L"100%[F]", L"100%[F]"},
      {L"[%V%]", L"[%V%]"},  // brackets are matched first; the name is not expanded
      {L"%[F]%", L""},
      {L"[Loop]", L"[F]%V%!R!"},  // replacements are not scanned again
  };
  for (const auto& c : cases) {
    FakeResolver fake;
    EXPECT_EQ(c.expected, ExpandReferences(c.text, std::ref(fake))) << c.text;
  }
}

TEST(ExpandReferencesTest, PassesTheNameBetweenOpenerAndCloser) {
  FakeResolver fake;
  ExpandReferences(L"[A b]%C d%!e\\f!", std::ref(fake));
  EXPECT_EQ((std::vector<std::wstring>{L"A b", L"C d", L"e\\f"}), fake.asked);
}

// The resolved path, or "(none)": a failed resolution must leave the path alone.
std::wstring Resolve(const std::wstring& name, bool wow64 = false) {
  std::wstring path = L"(none)";
  ResolveFolderProperty(name, &path, wow64);
  return path;
}

std::wstring WindowsDirectory() {
  wchar_t buffer[MAX_PATH] = {};
  UINT length = GetWindowsDirectoryW(buffer, MAX_PATH);
  return std::wstring(buffer, length);
}

bool EndsWithNoCase(const std::wstring& text, const std::wstring& suffix) {
  return text.size() >= suffix.size() &&
         lstrcmpiW(text.c_str() + text.size() - suffix.size(), suffix.c_str()) == 0;
}

bool WindowsIs64Bit() {
  BOOL wow64 = FALSE;
  return sizeof(void*) == 8 || (IsWow64Process(GetCurrentProcess(), &wow64) && wow64);
}

// Asked of the shell directly, without the trailing backslash.
std::wstring ShellFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  EXPECT_EQ(S_OK, SHGetFolderPathW(nullptr, csidl, nullptr, 0, path)) << csidl;
  return path;
}

// The folders a 32-bit program is given, as the 64-bit one must name them.
int Csidl32(int csidl) {  // CSIDL_PROGRAM_FILES or CSIDL_PROGRAM_FILES_COMMON
  if (sizeof(void*) == 4) return csidl;
  return csidl == CSIDL_PROGRAM_FILES ? CSIDL_PROGRAM_FILESX86 : CSIDL_PROGRAM_FILES_COMMONX86;
}

TEST(ResolveFolderPropertyTest, WindowsFolderHasNoTrailingBackslashSystemFolderHasOne) {
  const std::wstring windows = WindowsDirectory();
  ASSERT_FALSE(windows.empty());
  EXPECT_EQ(windows + L"notepad.exe", ExpandProperties(L"[WindowsFolder]notepad.exe", false));

  // With "x" the system's own files; without it the 32-bit ones, which a
  // Wine without 32-bit support leaves out of SysWOW64.
  std::wstring kernel = ExpandProperties(L"[SystemFolder]kernel32.dll", true);
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(kernel.c_str())) << kernel;
  EXPECT_EQ(L'\\', Resolve(L"SystemFolder").back());

  wchar_t system[MAX_PATH] = {};
  UINT length = GetSystemDirectoryW(system, MAX_PATH);
  EXPECT_EQ(std::wstring(system, length), Resolve(L"System32Folder"));
  EXPECT_EQ(windows.substr(0, 3), Resolve(L"WindowsVolume"));
  EXPECT_EQ(L'\\', Resolve(L"WindowsVolume").back());
}

TEST(ResolveFolderPropertyTest, SystemFolderFollowsTheView) {
  std::wstring native = Resolve(L"SystemFolder", true);
  std::wstring x86 = Resolve(L"SystemFolder", false);
  EXPECT_TRUE(EndsWithNoCase(native, L"\\system32\\")) << native;
  if (WindowsIs64Bit()) {
    EXPECT_TRUE(EndsWithNoCase(x86, L"\\syswow64\\")) << x86;
  } else {
    EXPECT_EQ(native, x86);
  }
}

class EnvironmentVariable {
 public:
  explicit EnvironmentVariable(const wchar_t* name) : name_(name) {
    wchar_t buffer[32768];
    DWORD length = GetEnvironmentVariableW(name, buffer, 32768);
    defined_ = length > 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
    if (defined_) saved_.assign(buffer, length);
  }
  ~EnvironmentVariable() { SetEnvironmentVariableW(name_, defined_ ? saved_.c_str() : nullptr); }
  void Set(const wchar_t* value) { SetEnvironmentVariableW(name_, value); }

 private:
  const wchar_t* name_;
  bool defined_ = false;
  std::wstring saved_;
};

TEST(ResolveFolderPropertyTest, ProgramFiles64FolderPrefersProgramW6432) {
  EnvironmentVariable variable(L"ProgramW6432");
  variable.Set(L"D:\\Programs64");
  EXPECT_EQ(L"D:\\Programs64\\", Resolve(L"ProgramFiles64Folder"));
  variable.Set(L"D:\\Programs64\\");
  EXPECT_EQ(L"D:\\Programs64\\", Resolve(L"ProgramFiles64Folder"));

  // As on Windows without the variable: the process's own Program Files.
  variable.Set(nullptr);
  const std::wstring program_files = ShellFolder(CSIDL_PROGRAM_FILES) + L"\\";
  EXPECT_EQ(program_files, Resolve(L"ProgramFiles64Folder"));
  EXPECT_EQ(program_files + L"App", ExpandProperties(L"[ProgramFiles64Folder]App", true));
  variable.Set(L"");  // an empty value is no folder either
  EXPECT_EQ(program_files, Resolve(L"ProgramFiles64Folder"));
}

TEST(ResolveFolderPropertyTest, ShellFoldersEndWithABackslash) {
  // "Program Files (x86)" on 64-bit Windows, for the 64-bit program too.
  const std::wstring expected = ShellFolder(Csidl32(CSIDL_PROGRAM_FILES)) + L"\\";
  EXPECT_EQ(expected, Resolve(L"ProgramFilesFolder"));
  EXPECT_EQ(expected, Resolve(L"ProgramFiles"));
  EXPECT_EQ(ShellFolder(Csidl32(CSIDL_PROGRAM_FILES_COMMON)) + L"\\",
            Resolve(L"CommonFilesFolder"));
  if (WindowsIs64Bit()) {
    EXPECT_TRUE(EndsWithNoCase(expected, L" (x86)\\")) << expected;
  }

  for (const wchar_t* name :
       {L"ProgramFilesFolder", L"CommonFilesFolder", L"DesktopFolder", L"AllUsersDesktopFolder",
        L"AppDataFolder", L"FavoritesFolder", L"StartMenuFolder", L"ProgramMenuFolder",
        L"StartupFolder", L"FontsFolder", L"LocalAppDataFolder", L"CommonAppDataFolder",
        L"ProgramFiles", L"TempFolder", L"SETUPEXEDIR"}) {
    std::wstring path = Resolve(name);
    ASSERT_NE(L"(none)", path) << name;
    EXPECT_EQ(L'\\', path.back()) << name;
    EXPECT_EQ(std::wstring::npos, path.find(L"\\\\")) << name;
  }
  EXPECT_EQ(GetTempFolder(), Resolve(L"TempFolder"));
  std::wstring exe = GetModulePath();
  EXPECT_EQ(exe.substr(0, exe.rfind(L'\\') + 1), Resolve(L"SETUPEXEDIR"));
}

TEST(ResolveFolderPropertyTest, NamesAreExactAndCaseSensitive) {
  for (const wchar_t* name : {L"programfilesfolder", L"SystemFolder ", L"", L"Unknown",
                              L"SetupExeDir", L"ProgramW6432"}) {
    EXPECT_EQ(L"(none)", Resolve(name)) << name;
  }
  EXPECT_EQ(L"[windowsfolder]x", ExpandProperties(L"[windowsfolder]x", false));
}

TEST(ExpandPropertiesTest, EnvironmentVariables) {
  EnvironmentVariable variable(L"CHAINER_TEST_VARIABLE");
  variable.Set(L"value");
  EXPECT_EQ(L"<value>", ExpandProperties(L"<%CHAINER_TEST_VARIABLE%>", false));
  variable.Set(nullptr);
  EXPECT_EQ(L"<>", ExpandProperties(L"<%CHAINER_TEST_VARIABLE%>", false));
  EXPECT_EQ(L"100% done", ExpandProperties(L"100% done", false));
  // Longer than the first buffer.
  variable.Set(std::wstring(1000, L'v').c_str());
  EXPECT_EQ(std::wstring(1000, L'v'), ExpandProperties(L"%CHAINER_TEST_VARIABLE%", false));
  // The folders WOW64 sets for a 32-bit program, in the 64-bit program too.
  EXPECT_EQ(Resolve(L"ProgramFilesFolder"), ExpandProperties(L"%programfiles%\\", false));
  EXPECT_EQ(Resolve(L"CommonFilesFolder"), ExpandProperties(L"%CommonProgramFiles%\\", false));
}

using RegDeleteKeyExWFn = LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);

TEST(ExpandPropertiesTest, RegistryReferenceReadsTheChosenView) {
  const std::wstring key_name =
      L"Software\\ChainerFolderPropertiesTest-" + std::to_wstring(GetCurrentProcessId());
  const REGSAM views[] = {KEY_WOW64_64KEY, KEY_WOW64_32KEY};
  const wchar_t* texts[] = {L"C:\\Sixty four", L"C:\\Thirty two"};
  for (int i = 0; i < 2; ++i) {
    UniqueRegKey key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(HKEY_LOCAL_MACHINE, key_name.c_str(), 0, nullptr, 0,
                              KEY_SET_VALUE | views[i], nullptr, key.put(), nullptr));
    RegSetValueExW(key.get(), L"InstallDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(texts[i]),
                   static_cast<DWORD>((wcslen(texts[i]) + 1) * sizeof(wchar_t)));
  }
  const std::wstring text = L"\"!HKLM\\" + key_name + L"\\InstallDir!\\app.exe\" /q";
  std::wstring in64 = ExpandProperties(text, true);
  std::wstring in32 = ExpandProperties(text, false);
  EXPECT_EQ(L"\"\" /q", ExpandProperties(L"\"!HKLM\\" + key_name + L"\\Missing!\" /q", true));

  auto delete_key_ex = reinterpret_cast<RegDeleteKeyExWFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"advapi32.dll"), "RegDeleteKeyExW")));
  for (REGSAM view : views) {
    if (delete_key_ex) delete_key_ex(HKEY_LOCAL_MACHINE, key_name.c_str(), view, 0);
  }

  if (WindowsIs64Bit()) {
    EXPECT_EQ(L"\"C:\\Sixty four\\app.exe\" /q", in64);
    EXPECT_EQ(L"\"C:\\Thirty two\\app.exe\" /q", in32);
  } else {
    EXPECT_EQ(in64, in32);
  }
}

}  // namespace
