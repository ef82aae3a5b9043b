// The common-controls classes of the dialogs (progress bar, standard classes,
// tooltips). The manifest asks for common controls 6, whose classes Windows
// XP registers only when the program asks.
#pragma once

// Registers them; call before the first window. False when comctl32 or its
// InitCommonControlsEx cannot be had (the dialogs then lack those classes).
bool InitCommonControlClasses();
