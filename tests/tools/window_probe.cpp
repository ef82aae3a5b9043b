// window_probe CAPTION SECONDS CONTROL [cancel]: waits for a visible dialog
// with that caption that has the control CONTROL (1001: the status window,
// 1034: a progress dialog) and prints, one per line: the caption, the text of each of the
// controls 1001 and 1034 ("-" when absent), the progress bar's position and
// upper bound ("-" without a bar), whether control 2 is visible, and the
// right edges of control 1001 and control 2 in screen pixels; for any other
// CONTROL (the error report's details, 502) its text last, which, unlike the
// others, is read by message (an edit control keeps its text to itself).
// The other texts are read without sending messages, so a window whose
// thread is busy still answers.
// With "cancel" it then clicks control 2. Exit 0 when found, 1 otherwise.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {
std::wstring TextOf(HWND control) {
  if (!control) return L"-";
  wchar_t text[1024] = {};
  InternalGetWindowText(control, text, 1024);
  return text;
}

std::wstring SentText(HWND control) {
  wchar_t text[8192] = {};
  // GetWindowTextW does not ask a window of another process.
  DWORD_PTR copied = 0;
  if (control) SendMessageTimeoutW(control, WM_GETTEXT, 8192, reinterpret_cast<LPARAM>(text),
                                   SMTO_ABORTIFHUNG, 2000, &copied);
  return text;
}

struct Search {
  const wchar_t* caption;
  int control;
  HWND found;
};

BOOL CALLBACK Visit(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<Search*>(parameter);
  wchar_t class_name[16] = {};
  GetClassNameW(window, class_name, 16);
  if (std::wstring(class_name) != L"#32770" || !IsWindowVisible(window)) return TRUE;
  if (TextOf(window) != search->caption || !GetDlgItem(window, search->control)) return TRUE;
  search->found = window;
  return FALSE;
}

long RightEdge(HWND control) {
  RECT r = {};
  if (control) GetWindowRect(control, &r);
  return r.right;
}

// Everything the probe prints, in its order.
std::wstring Read(HWND dialog, int control) {
  wchar_t text[256];
  std::wstring out = TextOf(dialog) + L"\n" + TextOf(GetDlgItem(dialog, 1001)) + L"\n" +
                     TextOf(GetDlgItem(dialog, 1034)) + L"\n";
  if (HWND bar = GetDlgItem(dialog, 1035)) {
    swprintf(text, 256, L"%ld\n%ld\n", static_cast<long>(SendMessageW(bar, PBM_GETPOS, 0, 0)),
             static_cast<long>(SendMessageW(bar, PBM_GETRANGE, FALSE, 0)));
    out += text;
  } else {
    out += L"-\n-\n";
  }
  HWND button = GetDlgItem(dialog, 2);
  swprintf(text, 256, L"%d\n%ld\n%ld\n", button && IsWindowVisible(button) ? 1 : 0,
           RightEdge(GetDlgItem(dialog, 1001)), RightEdge(button));
  out += text;
  if (control != 1001 && control != 1034) out += SentText(GetDlgItem(dialog, control)) + L"\n";
  return out;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) return 2;
  const DWORD seconds = static_cast<DWORD>(_wtoi(argv[2]));
  Search search = {argv[1], _wtoi(argv[3]), nullptr};
  const bool cancel = argc > 4 && std::wstring(argv[4]) == L"cancel";
  for (DWORD waited = 0;; waited += 50) {
    EnumWindows(&Visit, reinterpret_cast<LPARAM>(&search));
    if (search.found || waited >= seconds * 1000) break;
    Sleep(50);
  }
  HWND dialog = search.found;
  if (!dialog) return 1;
  // The dialog shows before its texts and bar are set: read until the
  // control asked for has text and three reads in a row agree, for at most 5 s.
  std::wstring seen, last;
  for (int agreeing = 0, reads = 0; agreeing < 2 && reads < 100; ++reads) {
    if (reads > 0) Sleep(50);
    last = seen;
    seen = Read(dialog, search.control);
    HWND asked = GetDlgItem(dialog, search.control);
    const bool ours = search.control == 1001 || search.control == 1034;
    const bool has_text = !(ours ? TextOf(asked) : SentText(asked)).empty();
    agreeing = has_text && seen == last ? agreeing + 1 : 0;
  }
  std::printf("%ls", seen.c_str());
  std::fflush(stdout);
  if (cancel) PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(2, BN_CLICKED), 0);
  return 0;
}
