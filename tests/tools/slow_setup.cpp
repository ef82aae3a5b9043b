// slow_setup: a stand-in setup that runs until a file named "release" appears
// beside it (at most 60 seconds), so that a test can look at the chainer's
// windows meanwhile. Exits 0.
#include <windows.h>

#include <string>

int wmain() {
  wchar_t self[MAX_PATH + 1] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring release = self;
  release = release.substr(0, release.rfind(L'\\') + 1) + L"release";
  for (int waited = 0; waited < 60000; waited += 50) {
    if (GetFileAttributesW(release.c_str()) != INVALID_FILE_ATTRIBUTES) break;
    Sleep(50);
  }
  return 0;
}
