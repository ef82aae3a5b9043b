// The common-controls classes of the dialogs (progress bar, standard classes,
// tooltips). The manifest asks for common controls 6, whose classes Windows
// XP registers only when the program asks.
#pragma once

// Registers them once, at the first call; call before every dialog. False
// when comctl32 or its InitCommonControlsEx cannot be had (the dialogs then
// lack those classes). Not at start: under Wine the first window class makes
// the desktop process start, which a silent run that opens no window would
// wait a quarter of a second for.
bool EnsureCommonControlClasses();
