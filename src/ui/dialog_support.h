// What every dialog of the chainer does when it starts: the program icon in
// both sizes, and a place on the owner or on the work area.
#pragma once
#include <windows.h>

void SetProgramIcons(HWND dialog);
// Centres on a visible, not minimised owner, else on the work area of the
// nearest monitor, and keeps the window inside the work area. A child window
// is centred in its parent's client area.
void CenterOnOwner(HWND window);
// The top of the window's parent/owner chain (for the taskbar button).
HWND RootWindowOf(HWND window);
