// Stand-ins for what the tests cannot have for real, linked into the test
// build of the executable (build/tests/chainer_seams.exe) instead of the real
// ones. Each leaves a trace beside the executable:
//   restart-requests.txt  one line per restart the chain asked for
//   store-installs.txt    one line per store package it was asked to install
// CHAINER_FAKE_STORE_RESULT sets what the package installation returns (0),
// CHAINER_FAKE_LOCAL_SYSTEM=1 makes the process count as LocalSystem,
// CHAINER_FAKE_EXTRACTION_PACE_MS=n waits n ms after each piece extracted
// under the extraction dialog (pieces are 1 MB), so that a test can watch it.
// CHAINER_FAKE_STORE_FAULT=1 makes the package installation read through a
// null pointer on the launcher's worker thread: a crash of the run.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "core/platform_seams.h"
#include "util/module_path.h"
#include "util/path_text.h"

namespace {
void AppendTrace(const wchar_t* file_name, const std::wstring& line) {
  const std::wstring path = FolderOf(GetProgramPath()) + L"\\" + file_name;
  FILE* trace = _wfopen(path.c_str(), L"ab");
  if (!trace) return;
  std::fprintf(trace, "%ls\n", line.c_str());
  std::fclose(trace);
}

class FakeRestarter : public IMachineRestarter {
 public:
  bool RestartWindows() override {
    AppendTrace(L"restart-requests.txt", L"restart");
    return true;
  }
};

class FakeStore : public IStorePackageInstaller {
 public:
  uint32_t InstallStorePackage(const std::wstring& path) override {
    AppendTrace(L"store-installs.txt", path);
    if (const char* fault = std::getenv("CHAINER_FAKE_STORE_FAULT")) {
      volatile int* nowhere = nullptr;
      if (fault[0] == '1') return static_cast<uint32_t>(*nowhere);
    }
    const char* result = std::getenv("CHAINER_FAKE_STORE_RESULT");
    return result ? static_cast<uint32_t>(std::strtoul(result, nullptr, 10)) : 0;
  }
};

void FakePaceExtraction() {
  static const char* pace = std::getenv("CHAINER_FAKE_EXTRACTION_PACE_MS");
  if (pace) Sleep(static_cast<DWORD>(std::strtoul(pace, nullptr, 10)));
}

bool FakeLocalSystem() {
  const char* value = std::getenv("CHAINER_FAKE_LOCAL_SYSTEM");
  return value && value[0] == '1';
}
}  // namespace

const PlatformSeams& GetPlatformSeams() {
  static FakeRestarter restarter;
  static FakeStore store;
  static const PlatformSeams seams{&restarter, &store, &FakeLocalSystem, &FakePaceExtraction};
  return seams;
}
