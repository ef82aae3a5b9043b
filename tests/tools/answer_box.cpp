// answer_box CAPTION BUTTON [SECONDS]: waits for a message box with that
// caption, prints its text, and answers it with BUTTON ("yes", "no", "ok",
// "retry" or "cancel"), then waits until that box is gone, so that a next
// call cannot find it again; "none" only waits for the box and leaves it.
// Exits 0 when it answered, 1 when no box came (or went) in time.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  const std::wstring button = argv[2];
  const int id = button == L"yes"     ? IDYES
                 : button == L"no"    ? IDNO
                 : button == L"retry" ? IDRETRY
                 : button == L"cancel" ? IDCANCEL
                                       : IDOK;
  const DWORD seconds = argc > 3 ? static_cast<DWORD>(_wtoi(argv[3])) : 60;
  for (DWORD waited = 0; waited < seconds * 1000; waited += 50) {
    HWND box = FindWindowW(L"#32770", argv[1]);
    if (box) {
      wchar_t text[4096] = {};
      GetDlgItemTextW(box, 0xFFFF, text, 4096);  // the static text of a message box
      std::printf("%ls\n", text);
      std::fflush(stdout);
      if (button == L"none") return 0;
      PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
      for (; IsWindow(box); waited += 50) {
        if (waited >= seconds * 1000) return 1;
        Sleep(50);
      }
      return 0;
    }
    Sleep(50);
  }
  return 1;
}
