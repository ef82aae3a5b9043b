// The common-controls classes of the dialogs (progress bar, standard classes,
// tooltips). The manifest asks for common controls 6, whose classes Windows
// XP registers only when the program asks; until then it shows neither the
// progress bar nor, for such a program, a message box.
#pragma once

// Registers them at the first call; call before the first window of a run.
// Not at start: a silent run shows no window, and under Wine the first window
// class starts the desktop process, which such a run would wait a fifth of a
// second for. False when comctl32 or its InitCommonControlsEx cannot be had
// (the dialogs then lack those classes).
bool EnsureCommonControlClasses();
