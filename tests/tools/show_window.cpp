// show_window: exits with the show command it was started with (SW_HIDE is
// 0, SW_SHOWNORMAL 1), or 100 when the starter gave none.
#include <windows.h>

int wmain() {
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  GetStartupInfoW(&startup);
  return (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : 100;
}
