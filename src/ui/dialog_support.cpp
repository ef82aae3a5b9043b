#include "ui/dialog_support.h"

#include <initializer_list>

#include "core/stable_numbers.h"
#include "ui/window_registry.h"

void SetProgramIcons(HWND dialog) {
  HINSTANCE instance = WindowRegistry::Instance();
  for (int which : {ICON_BIG, ICON_SMALL}) {
    const int size = GetSystemMetrics(which == ICON_BIG ? SM_CXICON : SM_CXSMICON);
    HANDLE icon =
        LoadImageW(instance, MAKEINTRESOURCEW(IDI_CHAINER), IMAGE_ICON, size, size, LR_SHARED);
    if (icon) SendMessageW(dialog, WM_SETICON, which, reinterpret_cast<LPARAM>(icon));
  }
}

void CenterOnOwner(HWND window) {
  RECT rect;
  GetWindowRect(window, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  const bool child = (GetWindowLongW(window, GWL_STYLE) & WS_CHILD) != 0;
  if (child) {
    HWND parent = GetParent(window);
    RECT client;
    if (!parent || !GetClientRect(parent, &client)) return;
    SetWindowPos(window, nullptr, (client.right - width) / 2, (client.bottom - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return;
  }
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT& work = monitor.rcWork;
  RECT around = work;
  HWND owner = GetWindow(window, GW_OWNER);
  if (owner && IsWindowVisible(owner) && !IsIconic(owner)) GetWindowRect(owner, &around);
  int x = around.left + ((around.right - around.left) - width) / 2;
  int y = around.top + ((around.bottom - around.top) - height) / 2;
  if (x + width > work.right) x = work.right - width;
  if (y + height > work.bottom) y = work.bottom - height;
  if (x < work.left) x = work.left;
  if (y < work.top) y = work.top;
  SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND RootWindowOf(HWND window) {
  HWND root = window;
  for (;;) {
    const bool child = (GetWindowLongW(root, GWL_STYLE) & WS_CHILD) != 0;
    HWND next = child ? GetParent(root) : GetWindow(root, GW_OWNER);
    if (!next) return root;
    root = next;
  }
}
