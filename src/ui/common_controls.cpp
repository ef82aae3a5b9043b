#include "ui/common_controls.h"

#include <windows.h>
#include <commctrl.h>

bool EnsureCommonControlClasses() {
  static const bool registered = [] {
    // By name, not by the system folder's path: the manifest's dependency
    // resolves the name to version 6 in the side-by-side store before any
    // folder is searched, where the system folder holds version 5.
    HMODULE comctl = LoadLibraryW(L"comctl32.dll");
    if (!comctl) return false;
    auto init = reinterpret_cast<decltype(&::InitCommonControlsEx)>(
        reinterpret_cast<void*>(GetProcAddress(comctl, "InitCommonControlsEx")));
    INITCOMMONCONTROLSEX classes = {sizeof(classes),
                                    ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
    return init && init(&classes) != FALSE;
  }();
  return registered;
}
