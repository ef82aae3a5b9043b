// The 64-bit twin of runtime.nsi, for machines that cannot run the 32-bit
// setups makensis makes. Defines: SETUP_NAME, SETUP_VERSION (strings),
// SETUP_EXIT_CODE. It leaves what the NSIS setup leaves, where a 32-bit setup
// leaves it, so that the tests look in the same places on either build:
// HKLM\Software\Corvane Test\<NAME> (Version, Silent) in the 32-bit registry
// view, and <Program Files (x86)>\CorvaneTest\<NAME>\installed.txt.
#include <windows.h>
#include <shlobj.h>

#include <string>

namespace {
const wchar_t kName[] = L"" SETUP_NAME;
const wchar_t kVersion[] = L"" SETUP_VERSION;
// NSIS keeps its command line in one of its 1,024-character strings; the twin
// cuts it alike, so that a test sees the same record from both.
const size_t kNsisStringLength = 1023;

// NSIS's own reading of its switches: a word "/S" (case matters), not inside
// quotes, after the program's name.
bool SilentSwitch(const wchar_t* line) {
  bool first = true;
  while (*line) {
    while (*line == L' ') ++line;
    if (!*line) break;
    wchar_t end = L' ';
    if (*line == L'"') {
      end = L'"';
      ++line;
    }
    if (!first && end == L' ' && line[0] == L'/' && line[1] == L'S' &&
        (line[2] == L' ' || line[2] == L'\0')) {
      return true;
    }
    while (*line && *line != end) ++line;
    if (*line) ++line;
    first = false;
  }
  return false;
}

// Like NSIS's SetOutPath: every missing folder on the way.
void MakeFolders(const std::wstring& path) {
  for (size_t slash = path.find(L'\\', 3); slash != std::wstring::npos;
       slash = path.find(L'\\', slash + 1)) {
    CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);
  }
  CreateDirectoryW(path.c_str(), nullptr);
}

// NSIS's FileWrite in a Unicode setup writes the ANSI code page.
std::string Ansi(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string out(size > 0 ? size : 0, '\0');
  if (size > 0) {
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), &out[0], size,
                        nullptr, nullptr);
  }
  return out;
}

void WriteRecord(const std::wstring& command_line) {
  wchar_t program_files[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILESX86, nullptr, SHGFP_TYPE_CURRENT,
                              program_files))) {
    return;
  }
  const std::wstring folder = std::wstring(program_files) + L"\\CorvaneTest\\" + kName;
  MakeFolders(folder);
  const std::string text = Ansi(std::wstring(kName) + L" " + kVersion + L"\r\n" +
                                L"command line: " + command_line + L"\r\n");
  HANDLE file = CreateFileW((folder + L"\\installed.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

void WriteRegistry(bool silent) {
  const std::wstring path = std::wstring(L"Software\\Corvane Test\\") + kName;
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                      KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return;
  }
  const auto set = [key](const wchar_t* name, const wchar_t* data) {
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data),
                   static_cast<DWORD>((lstrlenW(data) + 1) * sizeof(wchar_t)));
  };
  set(L"Version", kVersion);
  set(L"Silent", silent ? L"yes" : L"no");
  RegCloseKey(key);
}
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, wchar_t*, int) {
  const wchar_t* line = GetCommandLineW();
  WriteRecord(std::wstring(line).substr(0, kNsisStringLength));
  WriteRegistry(SilentSwitch(line));
  return SETUP_EXIT_CODE;
}
