// answer_login CAPTION USER PASSWORD [SECONDS]: waits for the credentials
// dialog with that caption, prints its message, types USER and PASSWORD into
// it and presses Ok. Exits 0 when it answered, 1 when no dialog came in time.
#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) return 2;
  const DWORD seconds = argc > 4 ? static_cast<DWORD>(_wtoi(argv[4])) : 60;
  for (DWORD waited = 0; waited < seconds * 1000; waited += 50) {
    HWND dialog = FindWindowW(L"#32770", argv[1]);
    if (dialog && GetDlgItem(dialog, 1061)) {  // the user-name field
      wchar_t text[1024] = {};
      GetDlgItemTextW(dialog, 1067, text, 1024);
      std::printf("%ls\n", text);
      std::fflush(stdout);
      // As typed: each text change reaches the dialog, which enables Ok.
      SetDlgItemTextW(dialog, 1061, argv[2]);
      SetDlgItemTextW(dialog, 1062, argv[3]);
      PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      return 0;
    }
    Sleep(50);
  }
  return 1;
}
