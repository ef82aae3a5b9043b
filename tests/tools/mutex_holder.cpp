// mutex_holder MODE READY_FILE MILLISECONDS: puts the Windows Installer mutex
// into a state for the chainer to meet, writes READY_FILE, waits, then ends.
//   hold     owns the mutex and releases it at the end
//   abandon  owns the mutex and ends without releasing it
//   free     holds the mutex unowned
//   event    holds an event under the mutex's name
#include <windows.h>

#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) return 2;
  const std::wstring mode = argv[1];
  const wchar_t* name = L"Global\\_MSIExecute";
  HANDLE object = nullptr;
  if (mode == L"event") {
    object = CreateEventW(nullptr, TRUE, FALSE, name);
  } else {
    object = CreateMutexW(nullptr, mode != L"free", name);
  }
  if (!object) return 3;
  HANDLE ready = CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  CloseHandle(ready);
  Sleep(static_cast<DWORD>(_wtoi(argv[3])));
  if (mode == L"abandon") ExitProcess(0);
  if (mode == L"hold") ReleaseMutex(object);
  CloseHandle(object);
  return 0;
}
